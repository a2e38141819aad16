// The README's Python example, taken from the README as it is written and run
// against the emulated device.
#include <gtest/gtest.h>

#include <filesystem>

#include "emulated_device.h"
#include "program.h"

namespace kovrad::test {
namespace {

// The text of the README's first ```python block.
std::string PythonExample() {
  const std::string readme = ReadFile(README_PATH);
  const std::string opening = "```python\n";
  const size_t start = readme.find(opening);
  if (start == std::string::npos) return {};
  const size_t code = start + opening.size();
  return readme.substr(code, readme.find("```", code) - code);
}

class ReadmeExample : public EmulatedDevice {};

TEST_F(ReadmeExample, PythonRunsAsWritten) {
  const std::string example = PythonExample();
  ASSERT_NE(example.find("CDLL(\"libkovrad.so.2\")"), std::string::npos) << example;
  Start({"--kit"});
  // The library built here stands in for the installed one.
  ScopedEnv library_path("LD_LIBRARY_PATH",
                         std::filesystem::path(KOVRAD_LIBRARY).parent_path().string());
#ifdef ASAN_RUNTIME
  // An instrumented library needs its sanitizer runtime loaded first.
  ScopedEnv preload("LD_PRELOAD", ASAN_RUNTIME);
  ScopedEnv leaks("ASAN_OPTIONS", "detect_leaks=0");
#endif
  const Finished run = RunProgram({PYTHON_PATH, "-"}, example);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("result 10000 Resposta com Sucesso"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("serial number 900000000, operating state 0"), std::string::npos)
      << run.out;
}

}  // namespace
}  // namespace kovrad::test
