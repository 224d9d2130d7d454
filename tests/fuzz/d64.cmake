# .D64 robustness: a short bounded libFuzzer run over arbitrary disk images.
find_program(TARN_CLANGXX clang++)
if(TARN_CLANGXX AND NOT TARN_SANITIZE)
  add_test(NAME fuzz.d64_smoke
           COMMAND sh ${CMAKE_SOURCE_DIR}/tests/fuzz/d64_fuzz.sh ${CMAKE_SOURCE_DIR}
                   ${CMAKE_BINARY_DIR}/fuzz_d64 20)
  set_tests_properties(fuzz.d64_smoke PROPERTIES TIMEOUT 300 RESOURCE_LOCK tarn_cpu)
endif()
