# The lexer fuzz target (option QOR_FUZZ): clang's libFuzzer, 32-bit, with
# the sanitizers of QOR_SANITIZE.  tools/fuzz-lexer.sh configures and runs it.
if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  message(FATAL_ERROR "QOR_FUZZ needs clang (libFuzzer): configure with CMAKE_CXX_COMPILER=clang++")
endif()
add_executable(fuzz_lexer ${CMAKE_SOURCE_DIR}/tests/fuzz/lexer_fuzz.cpp)
target_link_libraries(fuzz_lexer PRIVATE qor_core)
target_link_options(fuzz_lexer PRIVATE -fsanitize=fuzzer)

# The Qorbin reader's fuzz target; tools/fuzz-qorbin.sh configures and runs it.
add_executable(fuzz_qorbin ${CMAKE_SOURCE_DIR}/tests/fuzz/qorbin_fuzz.cpp)
target_link_libraries(fuzz_qorbin PRIVATE qor_core)
target_link_options(fuzz_qorbin PRIVATE -fsanitize=fuzzer)
