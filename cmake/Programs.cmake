# Helpers for the Windows programs.

# toolkit_gui_program(TARGET OUTPUT_NAME NAME [FOLDER SUBFOLDER]): a program
# of the GUI subsystem (no console appears when it starts) whose entry point
# is wWinMain, written as NAME.exe to bin/, or to bin/SUBFOLDER/.
function(toolkit_gui_program target)
  cmake_parse_arguments(ARG "" "OUTPUT_NAME;FOLDER" "" ${ARGN})
  set(directory ${CMAKE_BINARY_DIR}/bin)
  if(ARG_FOLDER)
    string(APPEND directory /${ARG_FOLDER})
  endif()
  set_target_properties(${target} PROPERTIES
    WIN32_EXECUTABLE ON
    OUTPUT_NAME ${ARG_OUTPUT_NAME}
    RUNTIME_OUTPUT_DIRECTORY ${directory})
  target_link_options(${target} PRIVATE -municode)
endfunction()

# toolkit_embed_extractor(TARGET): gives a Windows program the built
# extractor as its resource SFX_EXE IDR_EXTRACTOR_IMAGE
# (resources/creator/resource_ids.h), as the package creator carries it.
function(toolkit_embed_extractor target)
  set(image ${CMAKE_BINARY_DIR}/bin/Extractor.exe)
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}_extractor_image.rc)
  file(WRITE ${rc}
    "#include \"resources/creator/resource_ids.h\"\n"
    "IDR_EXTRACTOR_IMAGE SFX_EXE \"${image}\"\n")
  target_sources(${target} PRIVATE ${rc})
  set_source_files_properties(${rc} PROPERTIES OBJECT_DEPENDS ${image})
  add_dependencies(${target} extractor)
endfunction()
