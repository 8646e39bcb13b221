# cmake -DROOT=<folder> -P make_link_fixture.cmake
# A work folder holding links to a folder with a file, to an empty folder and to a read-only
# file, all three outside it; a work folder that is itself a link to a folder outside; and the
# cases below.
file(REMOVE_RECURSE ${ROOT})
file(MAKE_DIRECTORY ${ROOT}/outside/folder ${ROOT}/outside/empty ${ROOT}/work)
file(WRITE ${ROOT}/outside/folder/keep.txt "kept")
file(WRITE ${ROOT}/outside/file.txt "kept")
file(CHMOD ${ROOT}/outside/file.txt PERMISSIONS OWNER_READ GROUP_READ WORLD_READ)
file(CREATE_LINK ../outside/folder ${ROOT}/work/folder-link SYMBOLIC)
file(CREATE_LINK ../outside/empty ${ROOT}/work/empty-link SYMBOLIC)
file(CREATE_LINK ../outside/file.txt ${ROOT}/work/file-link SYMBOLIC)
file(CREATE_LINK outside/folder ${ROOT}/work-link SYMBOLIC)

# Extraction targets planted by another program: under each name a symbolic link in one folder
# and a hard link in another, all pointing to files outside.
file(MAKE_DIRECTORY ${ROOT}/extract/symbolic ${ROOT}/extract/hard)
foreach(name esptool.exe firmware.bin)
  file(WRITE ${ROOT}/outside/symbolic-${name} "kept")
  file(WRITE ${ROOT}/outside/hard-${name} "kept")
  file(CREATE_LINK ../../outside/symbolic-${name} ${ROOT}/extract/symbolic/${name} SYMBOLIC)
  file(CREATE_LINK ${ROOT}/outside/hard-${name} ${ROOT}/extract/hard/${name})
endforeach()

# A walk that meets its folder swapped: swap/work/sub is a folder of its own when listed, and
# the test moves swap/sub-link (to swap/outside, holding keep.txt) in its place.
file(MAKE_DIRECTORY ${ROOT}/swap/work/sub ${ROOT}/swap/outside)
file(WRITE ${ROOT}/swap/work/sub/inner.bin "inner")
file(WRITE ${ROOT}/swap/work/esptool.exe "tool")
file(WRITE ${ROOT}/swap/outside/keep.txt "kept")
file(CREATE_LINK ../outside ${ROOT}/swap/sub-link SYMBOLIC)

# A read-only file outside with a second name inside a work folder: its mark is the outside
# file's too.
file(MAKE_DIRECTORY ${ROOT}/shared/work)
file(WRITE ${ROOT}/shared/outside.txt "kept")
file(CHMOD ${ROOT}/shared/outside.txt PERMISSIONS OWNER_READ GROUP_READ WORLD_READ)
file(CREATE_LINK ${ROOT}/shared/outside.txt ${ROOT}/shared/work/second-name.txt)
