# The application finds its resources in <build>/Resources beside <build>/bin: the interface
# fonts that scripts/setup installed (with their licences) and our own files in Resources/.
if(DEFINED ENV{VI_FONTS_DIR})
  set(_fonts_default "$ENV{VI_FONTS_DIR}")
elseif(DEFINED ENV{XDG_DATA_HOME})
  set(_fonts_default "$ENV{XDG_DATA_HOME}/vavod-idiriz-fonts")
else()
  set(_fonts_default "$ENV{HOME}/.local/share/vavod-idiriz-fonts")
endif()
set(VI_FONTS_DIR "${_fonts_default}" CACHE PATH "Folder with the interface fonts (scripts/setup fills it)")
set(VI_RESOURCES_DIR "${CMAKE_BINARY_DIR}/Resources")

if(EXISTS "${VI_FONTS_DIR}/PlusJakartaSans/OFL.txt")
  file(COPY "${VI_FONTS_DIR}/" DESTINATION "${VI_RESOURCES_DIR}/Fonts")
else()
  message(WARNING "No interface fonts in ${VI_FONTS_DIR}: run scripts/setup. The system font stands in.")
endif()
file(COPY "${CMAKE_SOURCE_DIR}/Resources/" DESTINATION "${VI_RESOURCES_DIR}")
