# cmake -DROOT=<folder> -P make_link_fixture.cmake
# A work folder holding links to a folder with a file, to an empty folder and to a read-only
# file, all three outside it; and a work folder that is itself a link to a folder outside.
file(REMOVE_RECURSE ${ROOT})
file(MAKE_DIRECTORY ${ROOT}/outside/folder ${ROOT}/outside/empty ${ROOT}/work)
file(WRITE ${ROOT}/outside/folder/keep.txt "kept")
file(WRITE ${ROOT}/outside/file.txt "kept")
file(CHMOD ${ROOT}/outside/file.txt PERMISSIONS OWNER_READ GROUP_READ WORLD_READ)
file(CREATE_LINK ../outside/folder ${ROOT}/work/folder-link SYMBOLIC)
file(CREATE_LINK ../outside/empty ${ROOT}/work/empty-link SYMBOLIC)
file(CREATE_LINK ../outside/file.txt ${ROOT}/work/file-link SYMBOLIC)
file(CREATE_LINK outside/folder ${ROOT}/work-link SYMBOLIC)
