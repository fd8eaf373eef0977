# The release: `cmake --build --preset windows --target package` and
# `cmake --build --preset release --target package` lay out and pack what a
# user downloads, in release/ of the build folder (scripts/make-release.sh).
# The native release carries the extractor beside sfxtool, from the windows
# build that TOOLKIT_WINDOWS_BUILD names.
set(TOOLKIT_RELEASE_DIR ${CMAKE_BINARY_DIR}/release)
if(WIN32)
  add_custom_target(package
    COMMAND bash ${PROJECT_SOURCE_DIR}/scripts/make-release.sh windows ${PROJECT_VERSION}
            ${CMAKE_BINARY_DIR}/bin ${TOOLKIT_RELEASE_DIR}
    DEPENDS package_creator stampel extractor
    VERBATIM)
elseif(NOT CMAKE_CROSSCOMPILING)
  add_custom_target(package
    COMMAND bash ${PROJECT_SOURCE_DIR}/scripts/make-release.sh native ${PROJECT_VERSION}
            $<TARGET_FILE:sfxtool> ${TOOLKIT_RELEASE_DIR} ${TOOLKIT_WINDOWS_BUILD}/bin/Extractor.exe
    DEPENDS sfxtool
    VERBATIM)
endif()
