# find_package(fullstop): the targets fullstop::fullstop (shared libfullstop),
# fullstop::fullstop_static and fullstop::fullstop_hash (the hash table).
include("${CMAKE_CURRENT_LIST_DIR}/fullstopTargets.cmake")
