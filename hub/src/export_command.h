// kovrad-hub exportar: the month's bundle for the accountant, written from
// the hub's archive to a file, while the hub runs or not.
#pragma once

#include <string>
#include <vector>

namespace kovrad::hub {

// `args`: what follows "exportar". The exit status: 0 written, 1 failed,
// 2 bad usage.
int RunExport(const std::string& config_path, const std::vector<std::string>& args);

}  // namespace kovrad::hub
