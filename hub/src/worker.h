// A worker: the process that serves one device. It binds libkovrad.so,
// selects the device's port and runs the calls the hub sends, one at a
// time, in the order they come.
//
// Request: function name, session number, then the function's arguments in
// the order of its parameters (numbers written in decimal).
// Reply: the reply text, then the link error code of CodigoErro.
#pragma once

namespace kovrad::hub {

// Serves the hub on `fd` until it goes away; the process's exit status.
int RunWorker(int fd, int port);

}  // namespace kovrad::hub
