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

# Subsystems 1 and 2 and their platform layers: each module compiles its own copy.
kv_glob(KV_SHARED_SOURCES src/stream src/video src/platform/net src/platform/registry)
file(GLOB KV_CORE_COMMON CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/core/*.cpp)
list(FILTER KV_CORE_COMMON EXCLUDE REGEX "/profile_[a-z]+\\.cpp$")
list(APPEND KV_SHARED_SOURCES ${KV_CORE_COMMON})

# Subsystem 3, the viewer's audio, with its sound layer.
kv_glob(KV_AUDIO_SOURCES src/audio src/platform/sound)

# Qt layer shared by both controls, and each control's own code.
kv_glob(KV_UI_SOURCES src/platform/ui)
kv_glob(KV_VIEWER_SOURCES src/viewer)
kv_glob(KV_MOTION_SOURCES src/motion)
file(GLOB_RECURSE KV_VIEWER_RESOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/viewer/*.qrc)
file(GLOB_RECURSE KV_MOTION_RESOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/motion/*.qrc)
file(GLOB_RECURSE KV_UI_HEADERS CONFIGURE_DEPENDS
  ${CMAKE_SOURCE_DIR}/src/platform/ui/*.h ${CMAKE_SOURCE_DIR}/src/viewer/*.h ${CMAKE_SOURCE_DIR}/src/motion/*.h)

set(KV_INCLUDE_DIRS ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR}/include)
set(KV_CORE_LIBS JPEG::JPEG PkgConfig::CURL Threads::Threads ${CMAKE_DL_LIBS})
