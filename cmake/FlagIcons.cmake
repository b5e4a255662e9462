# Country flags: the SVGs of the flag-icons npm package (MIT licence) at a pinned version, installed
# into the build tree when the project is configured. Only the PNG files rendered from them at build
# time reach the client; neither is kept in git and nothing is fetched at run time.
#
# Sets MIREVO_FLAG_SVG_DIR (the 4:3 SVGs) and MIREVO_FLAG_CODES (the lower-case ISO 3166 country codes,
# the package's other flags left out), and defines mirevo_render_flag_images() below.
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

# librsvg's renderer, because the flags use the whole of SVG: gradients that refer to other gradients,
# masks and clip paths, which an SVG Tiny renderer drops (with a warning for each).
find_program(MIREVO_RSVG_CONVERT rsvg-convert REQUIRED)

# mirevo_render_flag_images(<output folder> <list variable>)
#   A build rule per flag that renders <code>.png at 32 x 24, the size of a server row's flag, and
#   <code>@2x.png at twice that, so that an Image on a high-density screen picks the sharper one by
#   itself; sets <list variable> to every PNG file the rules write.
function(mirevo_render_flag_images output_dir images_var)
  file(MAKE_DIRECTORY ${output_dir})
  set(images "")
  foreach(code ${MIREVO_FLAG_CODES})
    set(svg ${MIREVO_FLAG_SVG_DIR}/${code}.svg)
    set(image ${output_dir}/${code}.png)
    set(image_2x ${output_dir}/${code}@2x.png)
    add_custom_command(
        OUTPUT ${image} ${image_2x}
        COMMAND ${MIREVO_RSVG_CONVERT} --width 32 --height 24 --output ${image} ${svg}
        COMMAND ${MIREVO_RSVG_CONVERT} --width 64 --height 48 --output ${image_2x} ${svg}
        DEPENDS ${svg}
        COMMENT "Rendering the flag ${code}"
        VERBATIM)
    list(APPEND images ${image} ${image_2x})
  endforeach()
  set(${images_var} ${images} PARENT_SCOPE)
endfunction()
