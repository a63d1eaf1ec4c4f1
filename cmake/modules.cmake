# Libraries built from the source sets.
#
# For tests and tools, one static library per subsystem folder, so a test program builds
# only what it uses; kvcore bundles them all. Their profile can be switched by tests, so
# both module variants run side by side in one test program.
#   kv_core   src/core            profiles, timings
#   kv_net    src/platform/net, src/platform/registry
#   kv_image  src/video/image     CxImage, BMP, JPEG, EXIF
#   kv_video  src/video, mpeg4/   MPEG-4 decoder, YUV to RGB, motion measure
#   kv_stream src/stream          workers, chains, log, parsers, HTTP session, players
#   kv_audio  src/audio, src/platform/sound
#   kv_display src/display        the picture display workers (Qt-free)
#   kv_com    src/platform/com    registration, class factories, dispatch (when KV_BUILD_UI)
#   kvui      Qt layer and both controls (when KV_BUILD_UI)
#
# The modules compile everything again with their own profile:
#   Kavaro    libKavaro.so, the viewer: its own copy of 1 and 2, plus 3 and 4.
#   Mensilo   libMensilo.so, the motion setup: its own copy of 1 and 2, plus 5.

function(kv_static_lib name)
  cmake_parse_arguments(L "" "" "SOURCES;LIBS" ${ARGN})
  if(NOT L_SOURCES)
    # an empty folder still gives a (header-less) library
    add_library(${name} INTERFACE)
    target_link_libraries(${name} INTERFACE ${L_LIBS})
    return()
  endif()
  add_library(${name} STATIC ${L_SOURCES})
  target_include_directories(${name} PUBLIC ${KV_INCLUDE_DIRS})
  target_link_libraries(${name} PUBLIC ${L_LIBS})
endfunction()

kv_static_lib(kv_core SOURCES ${KV_CORE_SOURCES} ${CMAKE_SOURCE_DIR}/src/core/profile_switchable.cpp
              LIBS Threads::Threads)
kv_static_lib(kv_net SOURCES ${KV_NET_SOURCES} LIBS kv_core PkgConfig::CURL)
kv_static_lib(kv_image SOURCES ${KV_IMAGE_SOURCES} LIBS kv_core JPEG::JPEG)
kv_static_lib(kv_video SOURCES ${KV_VIDEO_SOURCES} LIBS kv_core)
kv_static_lib(kv_stream SOURCES ${KV_STREAM_SOURCES} LIBS kv_core kv_net kv_image kv_video ${CMAKE_DL_LIBS})
kv_static_lib(kv_audio SOURCES ${KV_AUDIO_SOURCES} LIBS kv_stream PkgConfig::PORTAUDIO)
kv_static_lib(kv_display SOURCES ${KV_DISPLAY_SOURCES} LIBS kv_stream kv_video kv_image)
add_library(kvcore INTERFACE)
target_link_libraries(kvcore INTERFACE kv_display kv_audio kv_stream kv_video kv_image kv_net kv_core)

if(KV_BUILD_UI)
  set(CMAKE_AUTOMOC ON)
  set(CMAKE_AUTORCC ON)

  # The Qt layer's files parse the same widget headers again and again, which was most of a
  # clean build: those headers are compiled once per target. The Qt-free sources of the same
  # targets go without them, so they keep compiling with no Qt in sight.
  set(KV_QT_PRECOMPILED <QApplication> <QComboBox> <QDialog> <QImage> <QLabel> <QMouseEvent>
      <QPainter> <QPixmap> <QPointer> <QPushButton> <QString> <QTimer> <QWidget>)
  set_source_files_properties(${KV_SHARED_SOURCES} ${KV_AUDIO_SOURCES}
    ${CMAKE_SOURCE_DIR}/src/core/profile_kavaro.cpp ${CMAKE_SOURCE_DIR}/src/core/profile_mensilo.cpp
    PROPERTIES SKIP_PRECOMPILE_HEADERS ON)
  kv_static_lib(kv_com SOURCES ${KV_COM_SOURCES} LIBS kv_net Qt6::Widgets ${CMAKE_DL_LIBS})
  target_precompile_headers(kv_com PRIVATE ${KV_QT_PRECOMPILED})

  if(KV_UI_SOURCES OR KV_VIEWER_SOURCES OR KV_MOTION_SOURCES)
    add_library(kvui STATIC ${KV_UI_SOURCES} ${KV_VIEWER_SOURCES} ${KV_MOTION_SOURCES}
                ${KV_VIEWER_RESOURCES} ${KV_MOTION_RESOURCES} ${KV_UI_HEADERS} ${KV_VIEWER_HEADERS} ${KV_MOTION_HEADERS})
    target_link_libraries(kvui PUBLIC kvcore kv_com Qt6::Widgets)
    target_precompile_headers(kvui PRIVATE ${KV_QT_PRECOMPILED})
  endif()

  # A module must resolve every name at link time, except in clang's sanitizer builds: clang
  # links the sanitizer runtime into the executable only, so a module leaves its names open.
  set(KV_MODULE_NO_UNDEFINED -Wl,--no-undefined)
  if(KV_SANITIZE AND CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    set(KV_MODULE_NO_UNDEFINED)
  endif()

  function(kv_module name profile exports)
    add_library(${name} SHARED ${ARGN} ${KV_SHARED_SOURCES} ${KV_UI_SOURCES} ${KV_UI_HEADERS} ${KV_COM_SOURCES}
                ${CMAKE_SOURCE_DIR}/src/core/${profile})
    target_include_directories(${name} PRIVATE ${KV_INCLUDE_DIRS})
    target_link_libraries(${name} PRIVATE ${KV_CORE_LIBS} Qt6::Widgets)
    set_target_properties(${name} PROPERTIES
      CXX_VISIBILITY_PRESET hidden C_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON
      LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/lib)
    # Calls inside the module bind to the module's own copy, never to another module's.
    # Only the names in the export map leave the module.
    target_link_options(${name} PRIVATE -Wl,-Bsymbolic ${KV_MODULE_NO_UNDEFINED}
                        -Wl,--version-script=${CMAKE_SOURCE_DIR}/cmake/${exports})
    set_target_properties(${name} PROPERTIES LINK_DEPENDS ${CMAKE_SOURCE_DIR}/cmake/${exports})
  endfunction()

  kv_module(Kavaro profile_kavaro.cpp kavaro.map ${KV_VIEWER_EXPORTS} ${KV_AUDIO_SOURCES} ${KV_VIEWER_SOURCES} ${KV_VIEWER_HEADERS} ${KV_VIEWER_RESOURCES})
  target_link_libraries(Kavaro PRIVATE PkgConfig::PORTAUDIO)
  kv_module(Mensilo profile_mensilo.cpp mensilo.map ${KV_MOTION_EXPORTS} ${KV_MOTION_SOURCES} ${KV_MOTION_HEADERS} ${KV_MOTION_RESOURCES})
  target_precompile_headers(Kavaro PRIVATE ${KV_QT_PRECOMPILED})
  target_precompile_headers(Mensilo PRIVATE ${KV_QT_PRECOMPILED})
endif()
