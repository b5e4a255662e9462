# Empties one test's sandbox and recreates its folders (run by ctest before the test itself).
file(REMOVE_RECURSE ${SANDBOX})
foreach(dir home data config cache runtime tmp)
  file(MAKE_DIRECTORY ${SANDBOX}/${dir})
endforeach()
file(CHMOD ${SANDBOX}/runtime DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)
