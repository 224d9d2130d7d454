# The machine's sound on QEMU's sound devices, captured in WAV files: one
# boot each, a few seconds of guest time.
find_package(Python3 COMPONENTS Interpreter)
if(Python3_Interpreter_FOUND AND EXISTS ${CMAKE_SOURCE_DIR}/kernel/kernel.cpp)
  foreach(device Hda Ac97 Sb16 PcSpeaker)
    add_test(NAME system.sound.${device}
             COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tests/system/sound_test.py ${device})
    set_tests_properties(system.sound.${device} PROPERTIES
      ENVIRONMENT "TARN_FONTS=${CMAKE_BINARY_DIR}/tools/fonts.json" SKIP_RETURN_CODE 77 TIMEOUT 600
      RESOURCE_LOCK tarn_cpu)
  endforeach()
endif()
