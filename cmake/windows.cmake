# The plug-in DLL: no C or C++ runtime, imports from kernel32 and user32
# only, entry point DllMain, exports named by glyphbox.def.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(GLYPHBOX_SUFFIX ".sph")
  set(GLYPHBOX_ENTRY "DllMain")
else()
  set(GLYPHBOX_SUFFIX ".spi")
  set(GLYPHBOX_ENTRY "_DllMain@12")
endif()

add_library(glyphbox SHARED
  ${GLYPHBOX_CORE_SOURCES}
  plugin/crt_stubs.cpp
  plugin/dll_main.cpp
  plugin/get_file.cpp
  plugin/list_archive.cpp
  plugin/listing_exports.cpp
  plugin/platform_win32.cpp
  plugin/plugin_info.cpp
  plugin/glyphbox.def
)
set_target_properties(glyphbox PROPERTIES PREFIX "" OUTPUT_NAME glyphbox SUFFIX "${GLYPHBOX_SUFFIX}")
target_include_directories(glyphbox PRIVATE "${CMAKE_SOURCE_DIR}")
target_compile_definitions(glyphbox PRIVATE WIN32_LEAN_AND_MEAN NOMINMAX)
target_compile_options(glyphbox PRIVATE
  -Os -Wall -Wextra -Werror
  -ffreestanding -fno-builtin -fno-tree-loop-distribute-patterns
  -fno-exceptions -fno-rtti -fno-threadsafe-statics
  -fno-asynchronous-unwind-tables -fno-unwind-tables -fno-stack-protector
)
# No runtime: the DLL's own entry point, and libgcc only for the helpers
# GCC itself calls (64-bit division on i686, stack probes).
target_link_options(glyphbox PRIVATE
  -nostdlib -nodefaultlibs -s
  -Wl,--entry,${GLYPHBOX_ENTRY} -Wl,--enable-stdcall-fixup -Wl,--kill-at
  -Wl,--dynamicbase -Wl,--nxcompat -Wl,--no-insert-timestamp
  # The link map lets the contract test find DllMain in the stripped DLL.
  "-Wl,-Map=${CMAKE_BINARY_DIR}/glyphbox.map"
)
set(CMAKE_CXX_STANDARD_LIBRARIES "")
target_link_libraries(glyphbox PRIVATE kernel32 user32 gcc)

add_custom_command(TARGET glyphbox POST_BUILD
  COMMAND ${CMAKE_COMMAND} -E make_directory "${GLYPHBOX_DIST_DIR}"
  COMMAND ${CMAKE_COMMAND} -E copy "$<TARGET_FILE:glyphbox>" "${GLYPHBOX_DIST_DIR}/"
)

if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  # Windows programs: statically linked, so that Wine needs nothing else.
  set(GLYPHBOX_WINDOWS_PROGRAM_FLAGS -static -static-libgcc -static-libstdc++)
  add_subdirectory(tools/spihost)
  add_subdirectory(tests/integration)
endif()
