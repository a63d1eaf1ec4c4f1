# Source sets, gathered by folder. A new .cpp file in one of these folders joins its set
# at the next configure; no list needs editing.

function(kv_glob out)
  set(files)
  foreach(dir IN LISTS ARGN)
    file(GLOB_RECURSE found CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${dir}/*.cpp ${CMAKE_SOURCE_DIR}/${dir}/*.c)
    list(APPEND files ${found})
  endforeach()
  set(${out} ${files} PARENT_SCOPE)
endfunction()

file(GLOB KV_CORE_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/core/*.cpp)
list(FILTER KV_CORE_SOURCES EXCLUDE REGEX "/profile_[a-z]+\\.cpp$")
kv_glob(KV_NET_SOURCES src/platform/net src/platform/registry)
kv_glob(KV_STREAM_SOURCES src/stream)
kv_glob(KV_IMAGE_SOURCES src/video/image)
kv_glob(KV_VIDEO_SOURCES src/video)
list(FILTER KV_VIDEO_SOURCES EXCLUDE REGEX "/src/video/image/")
kv_glob(KV_DISPLAY_SOURCES src/display)

# Subsystems 1 and 2, their platform layers and the picture display workers: each module
# compiles its own copy.
set(KV_SHARED_SOURCES ${KV_CORE_SOURCES} ${KV_NET_SOURCES} ${KV_STREAM_SOURCES} ${KV_IMAGE_SOURCES} ${KV_VIDEO_SOURCES}
    ${KV_DISPLAY_SOURCES})

# Subsystem 3, the viewer's audio, with its sound layer.
kv_glob(KV_AUDIO_SOURCES src/audio src/platform/sound)

# Qt layer shared by both controls, and each control's own code.
kv_glob(KV_UI_SOURCES src/platform/ui)
kv_glob(KV_VIEWER_SOURCES src/viewer)
kv_glob(KV_MOTION_SOURCES src/motion)
# Each module's exported entry points (files named *_exports.cpp) are compiled into that
# module alone: the test library holds both controls and must not carry two sets of them.
set(KV_VIEWER_EXPORTS ${KV_VIEWER_SOURCES})
list(FILTER KV_VIEWER_EXPORTS INCLUDE REGEX "_exports\\.cpp$")
list(FILTER KV_VIEWER_SOURCES EXCLUDE REGEX "_exports\\.cpp$")
set(KV_MOTION_EXPORTS ${KV_MOTION_SOURCES})
list(FILTER KV_MOTION_EXPORTS INCLUDE REGEX "_exports\\.cpp$")
list(FILTER KV_MOTION_SOURCES EXCLUDE REGEX "_exports\\.cpp$")
# Class registration and the entry-point plumbing both modules (and the hosts) use.
kv_glob(KV_COM_SOURCES src/platform/com)
file(GLOB_RECURSE KV_VIEWER_RESOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/viewer/*.qrc)
file(GLOB_RECURSE KV_MOTION_RESOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/motion/*.qrc)
# Headers are listed so that Qt's meta-object compiler finds the classes declared in them.
file(GLOB_RECURSE KV_UI_HEADERS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/platform/ui/*.h)
file(GLOB_RECURSE KV_VIEWER_HEADERS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/viewer/*.h)
file(GLOB_RECURSE KV_MOTION_HEADERS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/motion/*.h)

set(KV_INCLUDE_DIRS ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR}/include)
set(KV_CORE_LIBS JPEG::JPEG PkgConfig::CURL Threads::Threads ${CMAKE_DL_LIBS})
