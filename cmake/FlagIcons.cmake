# Country flags: the SVGs of the flag-icons npm package (MIT licence) at a pinned version, installed
# into the build tree when the project is configured. Only the PNG files rendered from them at build
# time reach the client; neither is kept in git and nothing is fetched at run time.
#
# Sets MIREVO_FLAG_SVG_DIR (the 4:3 SVGs) and MIREVO_FLAG_CODES (the lower-case ISO 3166 country codes,
# the package's other flags left out).
set(MIREVO_FLAG_ICONS_VERSION 7.6.0)
set(flag_icons_prefix ${CMAKE_BINARY_DIR}/_deps/flag-icons-${MIREVO_FLAG_ICONS_VERSION})
set(flag_icons_dir ${flag_icons_prefix}/node_modules/flag-icons)

if(NOT EXISTS ${flag_icons_dir}/country.json)
  find_program(MIREVO_NPM npm REQUIRED)
  message(STATUS "Installing flag-icons ${MIREVO_FLAG_ICONS_VERSION}")
  # npm's own cache serves a second build folder without the network.
  execute_process(
    COMMAND ${MIREVO_NPM} install --prefix ${flag_icons_prefix} --no-save --no-package-lock --no-audit
            --no-fund --ignore-scripts --prefer-offline flag-icons@${MIREVO_FLAG_ICONS_VERSION}
    RESULT_VARIABLE npm_result)
  if(NOT npm_result EQUAL 0 OR NOT EXISTS ${flag_icons_dir}/country.json)
    message(FATAL_ERROR "npm could not install flag-icons@${MIREVO_FLAG_ICONS_VERSION} into ${flag_icons_prefix}")
  endif()
endif()

set(MIREVO_FLAG_SVG_DIR ${flag_icons_dir}/flags/4x3)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${flag_icons_dir}/country.json)
file(READ ${flag_icons_dir}/country.json flag_countries)
string(JSON flag_count LENGTH "${flag_countries}")
math(EXPR flag_last "${flag_count} - 1")
set(MIREVO_FLAG_CODES "")
foreach(index RANGE ${flag_last})
  string(JSON flag_iso GET "${flag_countries}" ${index} iso)
  string(JSON flag_code GET "${flag_countries}" ${index} code)
  if(flag_iso AND EXISTS ${MIREVO_FLAG_SVG_DIR}/${flag_code}.svg)
    list(APPEND MIREVO_FLAG_CODES ${flag_code})
  endif()
endforeach()
list(SORT MIREVO_FLAG_CODES)
