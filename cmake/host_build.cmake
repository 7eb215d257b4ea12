# The host build: the logic over the simulated platform, and the tests.

option(GRANTRIGHT_FUZZ "Instrument for libFuzzer and build the fuzz targets (clang)" OFF)
if(GRANTRIGHT_FUZZ)
  add_compile_options(-fsanitize=fuzzer-no-link)
  set(GRANTRIGHT_SANITIZE ON)
endif()
option(GRANTRIGHT_SANITIZE "Build with AddressSanitizer, UndefinedBehaviorSanitizer and LeakSanitizer" OFF)
if(GRANTRIGHT_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

add_library(grantright_logic STATIC ${GRANTRIGHT_LOGIC_SOURCES})
target_include_directories(grantright_logic PUBLIC ${PROJECT_SOURCE_DIR}/src)

# Pieces of the host platform that the test fake uses as they are.
add_library(grantright_host_basics STATIC
  src/platform/host/code_page.cpp
  src/platform/host/last_error.cpp
  src/platform/host/status_codes.cpp
  src/platform/host/utf.cpp)
target_include_directories(grantright_host_basics PUBLIC ${PROJECT_SOURCE_DIR}/src)

add_library(grantright_host_platform STATIC
  src/platform/host/account_lookup.cpp
  src/platform/host/heap.cpp
  src/platform/host/host_sid.cpp
  src/platform/host/known_rights.cpp
  src/platform/host/lsa_policy.cpp
  src/platform/host/message_table.cpp
  src/platform/host/policy_store.cpp
  src/platform/host/std_handles.cpp)
target_link_libraries(grantright_host_platform PUBLIC grantright_host_basics)

add_executable(grantright src/driver/main.cpp src/platform/host/process_entry.cpp)
target_link_libraries(grantright PRIVATE grantright_logic grantright_host_platform)

# The floor the benchmark measures the host program against.
add_executable(do_nothing bench/do_nothing.cpp)

# The C++ runtime linked in, as on Windows: resolving libstdc++'s symbols at
# every start would cost more than the whole grant. Not under the sanitizers,
# whose runtimes expect the shared one.
if(NOT GRANTRIGHT_SANITIZE)
  target_link_options(grantright PRIVATE -static-libstdc++ -static-libgcc)
  target_link_options(do_nothing PRIVATE -static-libstdc++ -static-libgcc)
endif()

include(CTest)
if(BUILD_TESTING)
  add_subdirectory(tests)
endif()
