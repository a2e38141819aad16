# The kovrad client layer for C++ programs: find_package(KovradClient) gives
# the imported target Kovrad::client (the static library, its headers and
# kovrad.h, C++20). The program loads libkovrad.so.2 while it runs.
include("${CMAKE_CURRENT_LIST_DIR}/KovradClientTargets.cmake")
