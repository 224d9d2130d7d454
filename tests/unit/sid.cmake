# SID tests run small ca65 programs written for them: each
# tests/unit/sid/programs/NAME.s becomes NAME.bin, raw bytes for $C000.
if(TARGET test_sid)
  set(sid_src ${CMAKE_SOURCE_DIR}/tests/unit/sid/programs)
  set(sid_out ${CMAKE_BINARY_DIR}/sid_programs)
  file(MAKE_DIRECTORY ${sid_out})
  file(GLOB sid_programs CONFIGURE_DEPENDS ${sid_src}/*.s)
  set(sid_bins)
  foreach(src ${sid_programs})
    get_filename_component(name ${src} NAME_WE)
    add_custom_command(
      OUTPUT ${sid_out}/${name}.bin
      COMMAND ca65 -o ${sid_out}/${name}.o ${src}
      COMMAND ld65 -C ${CMAKE_SOURCE_DIR}/tests/unit/fullmode/programs/c000.cfg -o ${sid_out}/${name}.bin ${sid_out}/${name}.o
      DEPENDS ${src}
      COMMENT "Assembling test program ${name}")
    list(APPEND sid_bins ${sid_out}/${name}.bin)
  endforeach()
  add_custom_target(sid_programs DEPENDS ${sid_bins})
  add_dependencies(test_sid sid_programs)
  target_compile_definitions(test_sid PRIVATE SID_PROGRAMS="${sid_out}")
endif()
