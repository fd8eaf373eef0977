# toolkit_embed_extractor(TARGET ID): gives a Windows program the built
# extractor as its resource "SFX_EXE" ID, as the package creator carries it.
function(toolkit_embed_extractor target id)
  set(image ${CMAKE_BINARY_DIR}/bin/Extractor.exe)
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}_extractor_image.rc)
  file(WRITE ${rc} "${id} SFX_EXE \"${image}\"\n")
  target_sources(${target} PRIVATE ${rc})
  set_source_files_properties(${rc} PROPERTIES OBJECT_DEPENDS ${image})
  add_dependencies(${target} extractor)
endfunction()
