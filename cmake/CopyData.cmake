# Copies data/ into the program folder, less what belongs to the desktop rather than to the
# program. cmake -DSOURCE=<data> -DTARGET=<program folder> -DEXCLUDE=<patterns> -P CopyData.cmake
set(excluded)
foreach(pattern ${EXCLUDE})
  list(APPEND excluded PATTERN ${pattern} EXCLUDE)
endforeach()
file(COPY ${SOURCE}/ DESTINATION ${TARGET} ${excluded})
