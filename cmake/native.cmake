# Native build: the core and every test that runs on Linux, plus the two
# Windows builds as sub-builds whose tests join this build's CTest run.
include(ExternalProject)

option(GLYPHBOX_SANITIZE "Build the core tests with AddressSanitizer and UBSan" ON)
set(GLYPHBOX_SANITIZER_FLAGS -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
set(GLYPHBOX_WARNINGS -Wall -Wextra -Werror)

# The core with the native platform services, as the tests link it.
add_library(glyphbox_core STATIC ${GLYPHBOX_CORE_SOURCES} core/platform_native.cpp)
target_include_directories(glyphbox_core PUBLIC "${CMAKE_SOURCE_DIR}")
target_compile_options(glyphbox_core PRIVATE ${GLYPHBOX_WARNINGS})
if(GLYPHBOX_SANITIZE)
  target_compile_options(glyphbox_core PUBLIC ${GLYPHBOX_SANITIZER_FLAGS})
  target_link_options(glyphbox_core PUBLIC ${GLYPHBOX_SANITIZER_FLAGS})
endif()

add_subdirectory(tests/core)
if(EXISTS "${CMAKE_SOURCE_DIR}/tests/emu/CMakeLists.txt")
  add_subdirectory(tests/emu)
endif()
if(EXISTS "${CMAKE_SOURCE_DIR}/tests/fuzz/CMakeLists.txt")
  add_subdirectory(tests/fuzz)
endif()
add_subdirectory(tools/samples)
add_subdirectory(tools/bench)

foreach(arch x86_64 i686)
  ExternalProject_Add(windows_${arch}
    SOURCE_DIR "${CMAKE_SOURCE_DIR}"
    BINARY_DIR "${CMAKE_BINARY_DIR}/windows-${arch}"
    CMAKE_ARGS
      "-DCMAKE_TOOLCHAIN_FILE=${CMAKE_SOURCE_DIR}/cmake/mingw-${arch}.cmake"
      -DCMAKE_BUILD_TYPE=Release
      "-DGLYPHBOX_DIST_DIR=${GLYPHBOX_DIST_DIR}"
    BUILD_ALWAYS 1
    INSTALL_COMMAND ""
    USES_TERMINAL_BUILD 1
  )
endforeach()
set(GLYPHBOX_WIN64_BINARY_DIR "${CMAKE_BINARY_DIR}/windows-x86_64")

# The 64-bit build registers its Windows test programs (run under Wine);
# pull them into this build's test list.
file(WRITE "${CMAKE_BINARY_DIR}/windows_tests.cmake"
  "if(EXISTS \"${GLYPHBOX_WIN64_BINARY_DIR}/CTestTestfile.cmake\")\n"
  "  subdirs(\"${GLYPHBOX_WIN64_BINARY_DIR}\")\n"
  "endif()\n")
set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES "${CMAKE_BINARY_DIR}/windows_tests.cmake")

# The binary contract of both DLLs: format, exports, imports, entry point.
find_program(GLYPHBOX_OBJDUMP x86_64-w64-mingw32-objdump REQUIRED)
foreach(variant "sph;x86_64;64" "spi;i686;32")
  list(GET variant 0 suffix)
  list(GET variant 1 arch)
  list(GET variant 2 bits)
  add_test(NAME contract.${suffix}
    COMMAND bash "${CMAKE_SOURCE_DIR}/tests/contract/check_dll.sh" "${GLYPHBOX_OBJDUMP}"
      "${GLYPHBOX_DIST_DIR}/glyphbox.${suffix}" ${bits} "${CMAKE_BINARY_DIR}/windows-${arch}/glyphbox.map")
endforeach()
