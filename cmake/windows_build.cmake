# The Windows build: a console program for Windows XP and later, statically
# linked so that it needs only the DLLs every Windows has.
enable_language(RC)

if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(GRANTRIGHT_EXE_NAME grantright64)
  set(GRANTRIGHT_WINDOWS_VERSION 5,2)  # the first 64-bit Windows
else()
  set(GRANTRIGHT_EXE_NAME grantright)
  set(GRANTRIGHT_WINDOWS_VERSION 5,1)
endif()
string(REPLACE "," ";" _version "${GRANTRIGHT_WINDOWS_VERSION}")
list(GET _version 0 _major)
list(GET _version 1 _minor)

# __USE_MINGW_ANSI_STDIO=0: the runtime's own formatted output, not a copy linked in.
add_compile_definitions(_WIN32_WINNT=0x0501 WINVER=0x0501 __USE_MINGW_ANSI_STDIO=0)
# Small over fast: the program runs once and briefly.
if(NOT CMAKE_SIZEOF_VOID_P EQUAL 8)
  # Nothing unwinds through the program's own functions (no exceptions), so
  # their tables are dead weight. 64-bit Windows walks its stacks by them, and keeps them.
  add_compile_options(-fno-asynchronous-unwind-tables)
endif()
set(CMAKE_CXX_FLAGS_RELEASE "-Os -DNDEBUG")
add_compile_options(-fno-exceptions -fno-rtti -ffunction-sections -fdata-sections
  "-ffile-prefix-map=${PROJECT_SOURCE_DIR}=." "-ffile-prefix-map=${PROJECT_BINARY_DIR}=.")
add_link_options(-static -static-libgcc -static-libstdc++ -s -Wl,--gc-sections
  "-Wl,--major-os-version,${_major},--minor-os-version,${_minor}"
  "-Wl,--major-subsystem-version,${_major},--minor-subsystem-version,${_minor}"
  -Wl,--tsaware -Wl,--no-insert-timestamp)

set(GRANTRIGHT_MANIFEST ${PROJECT_SOURCE_DIR}/res/grantright.manifest)
configure_file(res/grantright.rc.in ${PROJECT_BINARY_DIR}/grantright.rc @ONLY)

add_executable(grantright
  src/driver/main.cpp
  ${GRANTRIGHT_LOGIC_SOURCES}
  src/platform/win/runtime_options.cpp
  ${PROJECT_BINARY_DIR}/grantright.rc)
set_target_properties(grantright PROPERTIES OUTPUT_NAME ${GRANTRIGHT_EXE_NAME})
target_include_directories(grantright PRIVATE ${PROJECT_SOURCE_DIR}/src)
target_link_libraries(grantright PRIVATE advapi32)
# The wide entry point: the runtime splits the UTF-16 command line itself.
target_link_options(grantright PRIVATE -municode)

# Signed copies in signed/, with the certificate and password the caller
# names (see scripts/sign): cmake --build --preset win32 --target sign
add_custom_target(sign
  COMMAND ${PROJECT_SOURCE_DIR}/scripts/sign ${PROJECT_BINARY_DIR}/signed $<TARGET_FILE:grantright>
  DEPENDS grantright
  VERBATIM)

# A program that does nothing, built the same way: the floor the benchmark
# measures the tool against.
add_executable(do_nothing bench/do_nothing.cpp)

# Test helper: starts a program with an exact command line, as a Windows
# caller can, so the tests reach the runtime's own argument splitting.
add_executable(raw_launch tests/wine/raw_launch.cpp)

# The conformance program (with the fakes it must catch) ships once, 32-bit:
# it checks either executable.
if(NOT CMAKE_SIZEOF_VOID_P EQUAL 8)
  add_subdirectory(tests/conformance)
endif()
