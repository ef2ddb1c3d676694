# Windows build: vis_gloamer.dll, importing only system DLLs, with the logo beside it.

# A player on a clean Windows has no mingw runtime: libgcc, libstdc++ and winpthread go in statically.
set(GLOAMER_STATIC_RUNTIME -static -static-libgcc -static-libstdc++)

add_library(vis_gloamer MODULE ${CMAKE_SOURCE_DIR}/plugin/vis_gloamer.def)
target_link_libraries(vis_gloamer PRIVATE
  "$<LINK_LIBRARY:WHOLE_ARCHIVE,gloamer_core>" opengl32 gdi32 user32)
target_link_options(vis_gloamer PRIVATE ${GLOAMER_STATIC_RUNTIME})
set_target_properties(vis_gloamer PROPERTIES LINKER_LANGUAGE CXX PREFIX "" OUTPUT_NAME vis_gloamer)
if(EXISTS ${GLOAMER_LOGO})
  add_custom_command(TARGET vis_gloamer POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E copy_if_different ${GLOAMER_LOGO} $<TARGET_FILE_DIR:vis_gloamer>/vis_gloamer.bmp)
endif()
