# Every dependency is a Debian 12 package; the README says why each one is here.
find_package(PkgConfig REQUIRED)
find_package(Threads REQUIRED)
find_package(Qt6 6.4 REQUIRED COMPONENTS Core Gui Widgets Svg)
find_package(nlohmann_json 3.11 REQUIRED)

pkg_check_modules(FFMPEG REQUIRED IMPORTED_TARGET
  libavformat libavcodec libavutil libswscale libswresample)
pkg_check_modules(XCB REQUIRED IMPORTED_TARGET
  xcb xcb-shm xcb-randr xcb-xfixes xcb-damage xcb-composite xcb-xinput xcb-keysyms xcb-xtest)
pkg_check_modules(PULSE REQUIRED IMPORTED_TARGET libpulse)

# pocketsphinx's .pc file names an include folder that does not exist, which an
# IMPORTED_TARGET would refuse; the plain variables are enough.
pkg_check_modules(POCKETSPHINX REQUIRED pocketsphinx)
add_library(vi_pocketsphinx INTERFACE)
target_include_directories(vi_pocketsphinx SYSTEM INTERFACE
  /usr/include/pocketsphinx /usr/include/${CMAKE_LIBRARY_ARCHITECTURE}/sphinxbase)
target_link_libraries(vi_pocketsphinx INTERFACE ${POCKETSPHINX_LIBRARIES})

if(VI_BUILD_TESTS)
  find_package(GTest REQUIRED)
  include(GoogleTest)
endif()
if(VI_BUILD_BENCHMARKS)
  find_package(benchmark REQUIRED)
endif()

# Adds the sources of one folder tree to a library; a folder without sources yet
# still gives a target others can link, so later work only adds files.
function(vi_library name folder)
  file(GLOB_RECURSE _sources CONFIGURE_DEPENDS "${folder}/*.cpp")
  if(_sources)
    add_library(${name} STATIC ${_sources})
    set(_scope PUBLIC)
  else()
    add_library(${name} INTERFACE)
    set(_scope INTERFACE)
  endif()
  target_include_directories(${name} ${_scope} "${CMAKE_SOURCE_DIR}/Sources")
  if(_sources)
    target_link_libraries(${name} PRIVATE vi_warnings)
  endif()
  set(${name}_SCOPE ${_scope} PARENT_SCOPE)
endfunction()
