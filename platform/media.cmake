# The media device: the command interpreter, its backends, the MP3 frame
# scanner and the short-path stand-in. It depends on SDL_mixer, libasound and
# the header-only clock only (no Qt), so that fuzzers and other tools can build
# against it alone.
add_library(vantrel_media STATIC
  ${CMAKE_CURRENT_LIST_DIR}/audio_backend.cpp
  ${CMAKE_CURRENT_LIST_DIR}/media_command.cpp
  ${CMAKE_CURRENT_LIST_DIR}/media_control.cpp
  ${CMAKE_CURRENT_LIST_DIR}/mp3_length.cpp
  ${CMAKE_CURRENT_LIST_DIR}/playhead.cpp
  ${CMAKE_CURRENT_LIST_DIR}/sdl_audio_session.cpp
  ${CMAKE_CURRENT_LIST_DIR}/sdl_mixer_backend.cpp
  ${CMAKE_CURRENT_LIST_DIR}/short_path.cpp
  ${CMAKE_CURRENT_LIST_DIR}/silent_media_backend.cpp
  ${CMAKE_CURRENT_LIST_DIR}/track_file.cpp
)
target_include_directories(vantrel_media PUBLIC ${CMAKE_CURRENT_LIST_DIR})
# libasound only to keep its error printing off the terminal (see
# sdl_audio_session.h); SDL loads the same library for its ALSA driver.
pkg_check_modules(ALSA REQUIRED IMPORTED_TARGET alsa)
target_link_libraries(vantrel_media PUBLIC SDL2_mixer::SDL2_mixer SDL2::SDL2 PRIVATE PkgConfig::ALSA)

# The program's entry point to the media device, through the runtime (which
# supplies the device and the fault-injection monitor).
add_library(vantrel_mci STATIC ${CMAKE_CURRENT_LIST_DIR}/mci_send_string.cpp)
target_link_libraries(vantrel_mci PUBLIC vantrel_media vantrel_platform)
