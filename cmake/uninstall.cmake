# Removes the files an install manifest lists (cmake -DMANIFEST=FILE -P
# uninstall.cmake; DESTDIR is honoured as the install honoured it), then the
# folders of fullstop's own that this leaves empty: those with "fullstop" in
# their path (PREFIX/share/fullstop/scripts, PREFIX/include/fullstop).
# Folders shared with other software, such as /usr/local/bin, stay even when
# empty: the install may not have made them.
if(NOT EXISTS "${MANIFEST}")
  message(FATAL_ERROR "uninstall: ${MANIFEST} not found: nothing was installed from this build "
                      "folder (cmake --install writes it)")
endif()
file(STRINGS "${MANIFEST}" installed)
set(folders)
foreach(file IN LISTS installed)
  set(path "$ENV{DESTDIR}${file}")
  if(EXISTS "${path}" OR IS_SYMLINK "${path}")
    message(STATUS "Uninstalling: ${path}")
    file(REMOVE "${path}")
    if(EXISTS "${path}" OR IS_SYMLINK "${path}")
      message(FATAL_ERROR "uninstall: could not remove ${path}")
    endif()
  else()
    message(STATUS "Not there: ${path}")
  endif()
  get_filename_component(folder "${path}" DIRECTORY)
  list(APPEND folders "${folder}")
endforeach()
# Deepest first, so that a folder's subfolders have gone before it is tried.
list(REMOVE_DUPLICATES folders)
list(SORT folders ORDER DESCENDING)
foreach(folder IN LISTS folders)
  while(folder MATCHES "fullstop" AND IS_DIRECTORY "${folder}")
    file(GLOB left "${folder}/*" "${folder}/.*")
    if(left)
      break()
    endif()
    file(REMOVE_RECURSE "${folder}")  # empty
    get_filename_component(folder "${folder}" DIRECTORY)
  endwhile()
endforeach()
