# System tests: the host tools (always) and, once the kernel links, the whole
# machine booted in QEMU and driven through QMP. A script exits 77 (skipped)
# when QEMU or an image it needs is missing.
find_package(Python3 COMPONENTS Interpreter)
if(Python3_Interpreter_FOUND)
  set(TARN_SYSTEM_DIR ${CMAKE_SOURCE_DIR}/tests/system)
  set(TARN_SYSTEM_ENV "TARN_FONTS=${CMAKE_BINARY_DIR}/tools/fonts.json")

  add_test(NAME system.tools
           COMMAND ${Python3_EXECUTABLE} ${TARN_SYSTEM_DIR}/tools_test.py -v)
  set_tests_properties(system.tools PROPERTIES ENVIRONMENT "${TARN_SYSTEM_ENV}" TIMEOUT 120)

  if(EXISTS ${CMAKE_SOURCE_DIR}/kernel/kernel.cpp)
    # The GRUB CD image is built once for the test that boots it.
    add_test(NAME system.iso_build COMMAND make -C ${CMAKE_SOURCE_DIR} --no-print-directory iso)
    set_tests_properties(system.iso_build PROPERTIES FIXTURES_SETUP tarn_iso TIMEOUT 300)

    foreach(case KernelImage KernelBoot IsoBoot UsbStickBoot NoDiskBoot FullModeBoot StickBoot UefiIsoBoot
                 UefiLargeStickBoot)
      add_test(NAME system.${case}
               COMMAND ${Python3_EXECUTABLE} ${TARN_SYSTEM_DIR}/qemu_test.py ${case})
      set_tests_properties(system.${case} PROPERTIES
        ENVIRONMENT "${TARN_SYSTEM_ENV}" SKIP_RETURN_CODE 77 TIMEOUT 600 RESOURCE_LOCK tarn_cpu)
    endforeach()
    set_tests_properties(system.IsoBoot system.UsbStickBoot system.UefiIsoBoot PROPERTIES FIXTURES_REQUIRED tarn_iso)

    # Drive 8 on AHCI (GPT), NVMe (4096-byte blocks) and AHCI again (damaged
    # GPT, failing writes): one boot each.
    foreach(case AhciGptBoot Nvme4kBoot AhciBackupGptFailingWrites)
      add_test(NAME system.disks.${case}
               COMMAND ${Python3_EXECUTABLE} ${TARN_SYSTEM_DIR}/disks_test.py ${case})
      set_tests_properties(system.disks.${case} PROPERTIES
        ENVIRONMENT "${TARN_SYSTEM_ENV}" SKIP_RETURN_CODE 77 TIMEOUT 600 RESOURCE_LOCK tarn_cpu)
    endforeach()
  endif()
endif()
