# Libraries built from the source sets.
#
# kvcore:      subsystems 1-3 in one static library for tests and tools; its profile can be
#              switched by tests, so both variants run side by side in one test program.
# kvui:        the Qt layer and both controls' own code on top of kvcore, for widget tests.
# Kavaro:      libKavaro.so, the viewer module: its own copy of 1 and 2, plus 3 and 4.
# Mensilo:     libMensilo.so, the motion-setup module: its own copy of 1 and 2, plus 5.

add_library(kvcore STATIC ${KV_SHARED_SOURCES} ${KV_AUDIO_SOURCES} ${CMAKE_SOURCE_DIR}/src/core/profile_switchable.cpp)
target_include_directories(kvcore PUBLIC ${KV_INCLUDE_DIRS})
target_link_libraries(kvcore PUBLIC ${KV_CORE_LIBS} PkgConfig::PORTAUDIO)
target_compile_definitions(kvcore PUBLIC KV_TEST_BUILD=1)

if(KV_BUILD_UI)
  set(CMAKE_AUTOMOC ON)
  set(CMAKE_AUTORCC ON)

  add_library(kvui STATIC ${KV_UI_SOURCES} ${KV_VIEWER_SOURCES} ${KV_MOTION_SOURCES}
              ${KV_VIEWER_RESOURCES} ${KV_MOTION_RESOURCES} ${KV_UI_HEADERS})
  target_link_libraries(kvui PUBLIC kvcore Qt6::Widgets)

  function(kv_module name profile)
    add_library(${name} SHARED ${ARGN} ${KV_SHARED_SOURCES} ${KV_UI_SOURCES} ${KV_UI_HEADERS}
                ${CMAKE_SOURCE_DIR}/src/core/${profile})
    target_include_directories(${name} PRIVATE ${KV_INCLUDE_DIRS})
    target_link_libraries(${name} PRIVATE ${KV_CORE_LIBS} Qt6::Widgets)
    set_target_properties(${name} PROPERTIES
      CXX_VISIBILITY_PRESET hidden C_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON
      LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/lib)
    # Calls inside the module bind to the module's own copy, never to another module's.
    target_link_options(${name} PRIVATE -Wl,-Bsymbolic -Wl,--no-undefined)
  endfunction()

  kv_module(Kavaro profile_kavaro.cpp ${KV_AUDIO_SOURCES} ${KV_VIEWER_SOURCES} ${KV_VIEWER_RESOURCES})
  target_link_libraries(Kavaro PRIVATE PkgConfig::PORTAUDIO)
  kv_module(Mensilo profile_mensilo.cpp ${KV_MOTION_SOURCES} ${KV_MOTION_RESOURCES})
endif()
