// Device discovery: the serial number in a status reply.
#pragma once

namespace kovrad {

// The sixth field of a status reply whose result code is a multiple of 1000,
// or null. Splits the reply in place ("|" become zero bytes).
char* ExtraiNumeroSerie(char* reply);

}  // namespace kovrad
