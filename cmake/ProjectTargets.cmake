# How every folder declares the project's Windows programs and its GoogleTest programs.

# A program as the project ships it: Unicode entry point, ASLR and DEP, unused sections dropped and
# no symbols in the file.
function(quillmark_hardened_executable target)
  target_link_options(${target} PRIVATE -municode -Wl,--dynamicbase,--nxcompat,--gc-sections -s)
endfunction()

# A GoogleTest program's tests: discovered and run natively, or run under Wine in the build's
# session (add_wine_test). Link it with GTest::gtest_main or GTest::gmock_main, which name the
# host's GoogleTest natively and the cross-built one on Windows.
function(quillmark_add_test target)
  if(WIN32)
    add_wine_test(${target})
  else()
    gtest_discover_tests(${target})
  endif()
endfunction()
