# Drive tests run C programs built with cc65 for the C64: each
# tests/unit/drive/programs/NAME.c becomes NAME.prg, a program to LOAD and RUN.
if(TARGET test_drive)
  set(dp_src ${CMAKE_SOURCE_DIR}/tests/unit/drive/programs)
  set(dp_out ${CMAKE_BINARY_DIR}/drive_programs)
  file(MAKE_DIRECTORY ${dp_out})
  file(GLOB dp_programs CONFIGURE_DEPENDS ${dp_src}/*.c)
  set(dp_prgs)
  foreach(src ${dp_programs})
    get_filename_component(name ${src} NAME_WE)
    add_custom_command(
      OUTPUT ${dp_out}/${name}.prg
      COMMAND cc65 -t c64 -O -o ${dp_out}/${name}.s ${src}
      COMMAND ca65 -t c64 -o ${dp_out}/${name}.o ${dp_out}/${name}.s
      COMMAND ld65 -t c64 -o ${dp_out}/${name}.prg ${dp_out}/${name}.o c64.lib
      DEPENDS ${src}
      COMMENT "Compiling C64 test program ${name}")
    list(APPEND dp_prgs ${dp_out}/${name}.prg)
  endforeach()
  add_custom_target(drive_programs DEPENDS ${dp_prgs})
  add_dependencies(test_drive drive_programs)
  target_compile_definitions(test_drive PRIVATE DRIVE_PROGRAMS="${dp_out}")
endif()
