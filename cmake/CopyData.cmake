# Copies data/ into the program folder, less what belongs to the desktop rather than to the
# program. cmake -DSOURCE=<data> -DTARGET=<program folder> -DEXCLUDE=<patterns> -P CopyData.cmake
set(excluded)
foreach(pattern ${EXCLUDE})
  list(APPEND excluded PATTERN ${pattern} EXCLUDE)
endforeach()
# A profile renamed or removed in data/ must not stay behind in the program folder: the
# catalogue lists every .pf file there.
file(GLOB built_profiles ${TARGET}/profile/*.pf)
foreach(built ${built_profiles})
  get_filename_component(name ${built} NAME)
  if(NOT EXISTS ${SOURCE}/profile/${name})
    file(REMOVE ${built})
  endif()
endforeach()
file(COPY ${SOURCE}/ DESTINATION ${TARGET} ${excluded})
