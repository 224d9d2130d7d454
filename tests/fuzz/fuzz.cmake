# FAT32 robustness: a short bounded libFuzzer run over arbitrary disk
# images, and the filesystem/driver tests under ASan and UBSan.
find_program(TARN_CLANGXX clang++)
if(TARN_CLANGXX AND NOT TARN_SANITIZE)
  add_test(NAME fuzz.fat_smoke
           COMMAND sh ${CMAKE_SOURCE_DIR}/tests/fuzz/fuzz.sh ${CMAKE_SOURCE_DIR}
                   ${CMAKE_BINARY_DIR}/fuzz 20)
  # Heavy builds and runs take a lock the QEMU sessions share, so a loaded
  # machine never starves an emulated one past its deadlines.
  set_tests_properties(fuzz.fat_smoke PROPERTIES TIMEOUT 300 RESOURCE_LOCK tarn_cpu)
endif()
if(NOT TARN_SANITIZE)
  add_test(NAME sanitize.fat
           COMMAND sh ${CMAKE_SOURCE_DIR}/tests/fuzz/sanitize.sh ${CMAKE_SOURCE_DIR}
                   ${CMAKE_BINARY_DIR}/sanitize)
  set_tests_properties(sanitize.fat PROPERTIES TIMEOUT 900 RESOURCE_LOCK tarn_cpu)
endif()
