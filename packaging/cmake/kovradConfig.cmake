# The kovrad device library: find_package(kovrad) gives the imported target
# kovrad::kovrad (header directory and libkovrad.so).
include("${CMAKE_CURRENT_LIST_DIR}/kovradTargets.cmake")
