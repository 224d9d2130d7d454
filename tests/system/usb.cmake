# USB system tests: one boot with the xHCI devices QEMU has (keyboard, hub,
# mouse, stick), one booting the stick image from USB under UEFI.
find_package(Python3 COMPONENTS Interpreter)
if(Python3_Interpreter_FOUND AND EXISTS ${CMAKE_SOURCE_DIR}/kernel/kernel.cpp)
  foreach(case UsbSession UefiUsbStickBoot)
    add_test(NAME system.usb.${case}
             COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tests/system/usb_test.py ${case})
    set_tests_properties(system.usb.${case} PROPERTIES
      ENVIRONMENT "TARN_FONTS=${CMAKE_BINARY_DIR}/tools/fonts.json" SKIP_RETURN_CODE 77 TIMEOUT 600
      RESOURCE_LOCK tarn_cpu)
  endforeach()
endif()
