// Printing an extrato's ESC/POS bytes on a thermal printer: a USB printer
// device, a network printer's raw port, or a CUPS queue.
#pragma once

#include <string>

namespace kovrad::receipt {

// What the printer said of itself when asked (DLE EOT 1, 2 and 4).
struct PrinterStatus {
  bool known = false;  // it answered; otherwise nothing below is known
  bool offline = false;
  bool cover_open = false;
  bool paper_out = false;
  bool paper_low = false;
  bool error = false;  // a mechanism, cutter or unrecoverable error
};

// The status in words, in Portuguese, for the store's people.
std::string Describe(const PrinterStatus& status);

// Whether an extrato may be sent: an unknown status counts as ready (many
// printers answer nothing), one that reports a fault does not.
bool Ready(const PrinterStatus& status);

struct PrintOutcome {
  bool printed = false;  // every byte reached the printer and it reported no fault after
  PrinterStatus before, after;
  std::string message;  // Portuguese: what happened and what to do
};

// Sends `bytes` to `destination`: a device path ("/dev/usb/lp0"),
// "tcp:HOST:PORT" or "cups:QUEUE". Nothing is sent to a printer whose status
// before says it cannot print. `timeout_ms` bounds each wait on the printer.
PrintOutcome Print(const std::string& destination, const std::string& bytes, int timeout_ms = 5000);

}  // namespace kovrad::receipt
