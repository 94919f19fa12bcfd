# Installation and the Debian package.
#
#   cmake --install build --prefix PREFIX   (make install PREFIX=...)
#   PREFIX/bin/kavelin2, PREFIX/bin/kavelin2-handheld
#   PREFIX/lib/kavelin2/libkavelin2ui.so    the UI runtime, found by the
#                                           program relative to itself
#   PREFIX/lib/kavelin2/kavelin2-alert      the example alert program
#   PREFIX/share/man/man1/                  kavelin2.1.gz, kavelin2-handheld.1.gz
#   PREFIX/lib/systemd/system/kavelin2@.service
#   PREFIX/share/doc/kavelin2/              README.service, example.env,
#                                           copyright, changelog.Debian.gz,
#                                           examples/kavelin2.rules.yml
#   PREFIX/share/lintian/overrides/kavelin2 the one tag that does not apply
#
# cpack (make package) builds kavelin2_VERSION_ARCH.deb with prefix /usr.

install(TARGETS kavelin2 kavelin2-handheld RUNTIME DESTINATION bin)
install(TARGETS kavelin2ui LIBRARY DESTINATION lib/kavelin2)
install(PROGRAMS ${CMAKE_SOURCE_DIR}/packaging/kavelin2-alert DESTINATION lib/kavelin2)
# Man pages and the changelog go compressed, as Debian wants them: gzip -9n,
# so that the bytes do not depend on when they were built.
set(compressed_docs)
foreach(doc docs/man/kavelin2.1 docs/man/kavelin2-handheld.1 packaging/changelog)
  get_filename_component(name ${doc} NAME)
  if(name STREQUAL "changelog")
    set(name changelog.Debian)
  endif()
  add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/packaging/${name}.gz
                     COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/packaging
                     COMMAND gzip -9nc ${CMAKE_SOURCE_DIR}/${doc} > ${CMAKE_BINARY_DIR}/packaging/${name}.gz
                     DEPENDS ${CMAKE_SOURCE_DIR}/${doc} VERBATIM)
  list(APPEND compressed_docs ${CMAKE_BINARY_DIR}/packaging/${name}.gz)
endforeach()
add_custom_target(kavelin2_compressed_docs ALL DEPENDS ${compressed_docs})
install(FILES ${CMAKE_BINARY_DIR}/packaging/kavelin2.1.gz
              ${CMAKE_BINARY_DIR}/packaging/kavelin2-handheld.1.gz
        DESTINATION share/man/man1)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/README.service ${CMAKE_SOURCE_DIR}/packaging/example.env
              ${CMAKE_SOURCE_DIR}/packaging/copyright
              ${CMAKE_BINARY_DIR}/packaging/changelog.Debian.gz
        DESTINATION share/doc/kavelin2)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/kavelin2.rules.yml
        DESTINATION share/doc/kavelin2/examples)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/lintian-overrides
        DESTINATION share/lintian/overrides RENAME kavelin2)
# The unit names the program by its installed path, which is only known when
# installing (cpack installs with its own prefix).
install(CODE "
  set(KAVELIN2_BINDIR \"\${CMAKE_INSTALL_PREFIX}/bin\")
  set(KAVELIN2_DOCDIR \"\${CMAKE_INSTALL_PREFIX}/share/doc/kavelin2\")
  set(unit \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/lib/systemd/system/kavelin2@.service\")
  message(STATUS \"Installing: \${unit}\")
  configure_file(\"${CMAKE_SOURCE_DIR}/packaging/kavelin2@.service.in\" \"\${unit}\" @ONLY)
  list(APPEND CMAKE_INSTALL_MANIFEST_FILES \"\${unit}\")")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kavelin2)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "kavelin2")
set(CPACK_PACKAGE_CONTACT "kavelin2 maintainers <maintainers@kavelin2.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "File-transfer station for portable handheld terminals")
set(CPACK_PACKAGE_DESCRIPTION
    "Serves up to two serial lines unattended: stores every uploaded file\n\
byte-exact, sends each handheld the files its table lists and logs every\n\
exchange. Includes the handheld simulator kavelin2-handheld and the systemd\n\
unit template kavelin2@.service.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# The first packaging of this version: a Debian revision, so that the
# changelog is changelog.Debian (a native package has none).
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "adduser")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${CMAKE_SOURCE_DIR}/packaging/postinst ${CMAKE_SOURCE_DIR}/packaging/prerm
    ${CMAKE_SOURCE_DIR}/packaging/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)

# The package and the unit, checked from the build tree (not from a sanitizer
# build, whose programs are no package's).
if(KAVELIN2_SANITIZE)
  return()
endif()
add_test(NAME package_test
         COMMAND ${CMAKE_SOURCE_DIR}/packaging/package_test.sh ${CMAKE_BINARY_DIR})
set_tests_properties(package_test PROPERTIES TIMEOUT 300 RUN_SERIAL ON)
add_test(NAME man_pages_test
         COMMAND ${CMAKE_SOURCE_DIR}/packaging/man_pages_test.sh ${CMAKE_SOURCE_DIR}/docs/man)
# The alerting rules load, and each fires on the series that should raise it.
add_test(NAME alert_rules_check
         COMMAND promtool check rules ${CMAKE_SOURCE_DIR}/packaging/kavelin2.rules.yml)
add_test(NAME alert_rules_test
         COMMAND promtool test rules kavelin2.rules_test.yml
         WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}/packaging)
add_test(NAME unit_verify_test
         COMMAND ${CMAKE_SOURCE_DIR}/packaging/unit_verify_test.sh ${CMAKE_BINARY_DIR})
set_tests_properties(unit_verify_test PROPERTIES TIMEOUT 120)
