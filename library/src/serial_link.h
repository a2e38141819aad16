// The serial link: the selected port, finding the device, opening and closing.
#pragma once

#include <string>
#include <vector>

#include "platform/platform.h"

namespace kovrad {

// Devices whose instance identifier marks them as the SAT device, in the
// platform's order. False when the serial ports cannot be listed.
bool ListaDispositivosSAT(std::vector<platform::SerialDevice>* devices);
// The USB serial number carried in a SAT device's instance identifier.
std::string NumeroSerieUSB(const platform::SerialDevice& device);

// Port name of the first SAT device on USB, or empty.
std::string ProcuraPortaSAT();
// The choice ProcuraPortaSAT makes among the SAT devices it listed: the first
// one, unless its hardware identifier is not one the library accepts.
std::string EscolhePortaSAT(const std::vector<platform::SerialDevice>& devices);
// Makes `name` the selected port; false (selection unchanged) when it does
// not fit the 9-character field.
bool SelecionaPorta(const std::string& name);
// Chooses no port after `name` was refused: exchanges fail with
// __NOCONNECT__, without looking on USB, until a port is chosen again.
void RecusaPorta(const char* name);
// Opens the selected (or found) port unless it is open; rewrites COMM_ERROR.
bool AbrePorta();
// Clears the open flag and closes the handle if there is one.
int FechaPorta();

}  // namespace kovrad
