# Full-mode tests run small ca65 programs written for them: each
# tests/unit/fullmode/programs/NAME.s becomes NAME.bin, raw bytes for $C000.
if(TARGET test_fullmode)
  set(fm_src ${CMAKE_SOURCE_DIR}/tests/unit/fullmode/programs)
  set(fm_out ${CMAKE_BINARY_DIR}/fullmode_programs)
  file(MAKE_DIRECTORY ${fm_out})
  file(GLOB fm_programs CONFIGURE_DEPENDS ${fm_src}/*.s)
  file(GLOB fm_includes CONFIGURE_DEPENDS ${fm_src}/*.inc)
  set(fm_bins)
  foreach(src ${fm_programs})
    get_filename_component(name ${src} NAME_WE)
    add_custom_command(
      OUTPUT ${fm_out}/${name}.bin
      COMMAND ca65 -I ${fm_src} -o ${fm_out}/${name}.o ${src}
      COMMAND ld65 -C ${fm_src}/c000.cfg -o ${fm_out}/${name}.bin ${fm_out}/${name}.o
      DEPENDS ${src} ${fm_includes} ${fm_src}/c000.cfg
      COMMENT "Assembling test program ${name}")
    list(APPEND fm_bins ${fm_out}/${name}.bin)
  endforeach()
  add_custom_target(fullmode_programs DEPENDS ${fm_bins})
  add_dependencies(test_fullmode fullmode_programs)
  target_compile_definitions(test_fullmode PRIVATE FULLMODE_PROGRAMS="${fm_out}")
endif()
