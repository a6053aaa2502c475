# CPack gives a package that holds a shared library below /usr/lib postinst and postrm scripts
# that run ldconfig, even for a private library that ldconfig never looks at. Here they are
# useless, draw a lintian warning and keep a removed package in dpkg's "config-files" state, so
# this takes them out of each package's control archive; the data archive stays as it is.
foreach(deb IN LISTS CPACK_PACKAGE_FILES)
    set(work "${deb}.control")
    file(REMOVE_RECURSE "${work}")
    file(MAKE_DIRECTORY "${work}/tree")
    execute_process(COMMAND ar x "${deb}" control.tar.gz WORKING_DIRECTORY "${work}"
                    COMMAND_ERROR_IS_FATAL ANY)
    execute_process(COMMAND tar -xzf ../control.tar.gz WORKING_DIRECTORY "${work}/tree"
                    COMMAND_ERROR_IS_FATAL ANY)
    file(REMOVE "${work}/tree/postinst" "${work}/tree/postrm")
    execute_process(COMMAND tar -czf ../control.tar.gz --owner=0 --group=0 --numeric-owner
                            --mode=go-w --sort=name .
                    WORKING_DIRECTORY "${work}/tree" COMMAND_ERROR_IS_FATAL ANY)
    execute_process(COMMAND ar rD "${deb}" control.tar.gz WORKING_DIRECTORY "${work}"
                    COMMAND_ERROR_IS_FATAL ANY)
    file(REMOVE_RECURSE "${work}")
endforeach()
