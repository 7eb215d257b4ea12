# conformance.exe under Wine (included from tests/wine, whose fixture starts
# the server): it must pass both executables and fail every fake. It is
# built by the win32 preset only.
function(grantright_add_conformance_tests)
  set(conformance_build ${GRANTRIGHT_WIN32_BUILD})
  if(NOT conformance_build)
    return()
  endif()

  set(run_conformance ${CMAKE_CURRENT_LIST_DIR}/run_under_wine.sh)
  set(conformance ${conformance_build}/conformance.exe)
  set(fakes ${conformance_build}/fakes)
  set(conformance_tests "")

  foreach(build_dir IN LISTS GRANTRIGHT_WINDOWS_BUILDS)
    get_filename_component(flavour ${build_dir} NAME)
    grantright_tool_exe(${build_dir} exe)
    add_test(NAME wine.conformance.${flavour} COMMAND ${run_conformance} ${conformance} ${exe} pass)
    list(APPEND conformance_tests wine.conformance.${flavour})
  endforeach()

  add_test(NAME wine.conformance.CatchesAlwaysSucceeds
    COMMAND ${run_conformance} ${conformance} ${fakes}/always_succeeds.exe fail
      "Malformed command line: option without a value" "Failure: unknown account" "Failure: empty account"
      "Standard error to a file and to a pipe: report" "Look-alike: full-width Everyone")
  add_test(NAME wine.conformance.CatchesAlwaysReports
    COMMAND ${run_conformance} ${conformance} ${fakes}/always_reports.exe fail
      "Grant SeServiceLogonRight" "Grant SeBatchLogonRight again" "Malformed command line: stray word"
      "Standard error to a file and to a pipe: usage")
  add_test(NAME wine.conformance.CatchesNarrowArgv
    COMMAND ${run_conformance} ${conformance} ${fakes}/narrow_argv.exe fail
      "Look-alike: full-width Everyone" "Look-alike: full-width BUILTIN and reverse solidus"
      "Look-alike: A with macron" "Look-alike: full-width name of the test account")
  list(APPEND conformance_tests
    wine.conformance.CatchesAlwaysSucceeds wine.conformance.CatchesAlwaysReports wine.conformance.CatchesNarrowArgv)
  set_tests_properties(${conformance_tests} PROPERTIES
    LABELS wine FIXTURES_REQUIRED wine ENVIRONMENT "${wine_environment}")
endfunction()
grantright_add_conformance_tests()
