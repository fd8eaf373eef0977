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
  # Shipped without symbols: nobody debugs the released programs from
  # them, and they are most of the programs' size.
  target_link_options(${target} PRIVATE -municode -s)
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

# toolkit_delay_loaded(NAME DLL): an imported library NAME through which a
# program imports DLL delay-loaded: the DLL is loaded (by LoadLibrary, so
# under the program's DLL search rules) when one of its functions is first
# called, not by the loader when the program starts. It is made from the
# toolchain's import library for DLL (every function it exports), and
# goes into the delay-import table instead of the import table.
function(toolkit_delay_loaded name dll)
  get_filename_component(base ${dll} NAME_WE)
  find_library(${name}_IMPORT_LIBRARY ${base} REQUIRED)
  set(def ${CMAKE_BINARY_DIR}/delayload/${base}.def)
  set(library ${CMAKE_BINARY_DIR}/delayload/lib${base}_delayed.a)
  add_custom_command(OUTPUT ${library}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/delayload
    COMMAND sh -c "{ echo 'LIBRARY ${dll}'; echo EXPORTS; '${CMAKE_NM}' '${${name}_IMPORT_LIBRARY}' | sed -n 's/^[0-9a-f]* T //p' | sort -u; } > '${def}'"
    COMMAND ${CMAKE_DLLTOOL} --input-def ${def} --output-delaylib ${library} --dllname ${dll}
    DEPENDS ${${name}_IMPORT_LIBRARY}
    VERBATIM)
  add_custom_target(${name}_delay_library DEPENDS ${library})
  add_library(${name} STATIC IMPORTED GLOBAL)
  set_target_properties(${name} PROPERTIES IMPORTED_LOCATION ${library})
  add_dependencies(${name} ${name}_delay_library)
endfunction()
