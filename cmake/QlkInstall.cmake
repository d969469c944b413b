# What an installation holds besides the programs (their own folders install
# them): the desktop entry with its icon, AppStream metadata, the systemd user
# service, the manual pages and the Debian documentation; and the Debian
# package of it all, built by `cpack -G DEB` (scripts/package.sh).

set(QLK_APP_ID org.quelmark.Quelmark)
set(qlk_resources ${PROJECT_SOURCE_DIR}/resources)
# Debian keeps a package's documents under its package name, not the project's.
set(qlk_docdir ${CMAKE_INSTALL_DATADIR}/doc/quelmark)

install(FILES ${qlk_resources}/${QLK_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${qlk_resources}/${QLK_APP_ID}.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${qlk_resources}/${QLK_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
# systemd looks for user units in lib/systemd/user under /usr and /usr/local,
# never in a multiarch library folder.
install(FILES ${qlk_resources}/quelmark.service DESTINATION lib/systemd/user)
install(FILES ${qlk_resources}/dovecot-quelmark.conf DESTINATION ${qlk_docdir}/examples)
install(FILES ${qlk_resources}/debian/copyright DESTINATION ${qlk_docdir})

# The Debian changelog names the version being packaged: it must be this one.
file(STRINGS ${qlk_resources}/debian/changelog qlk_changelog_head LIMIT_COUNT 1)
if(NOT qlk_changelog_head MATCHES "^quelmark \\(${PROJECT_VERSION}\\) ")
  message(FATAL_ERROR "resources/debian/changelog does not begin with version ${PROJECT_VERSION}")
endif()

# Manual pages and the changelog are installed compressed, as Debian has them.
set(qlk_docs_out ${CMAKE_BINARY_DIR}/docs)
set(qlk_compressed ${qlk_docs_out}/changelog.gz)
add_custom_command(OUTPUT ${qlk_compressed}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${qlk_docs_out}
  COMMAND sh -c "gzip -9n < \"$1\" > \"$2\"" sh ${qlk_resources}/debian/changelog ${qlk_compressed}
  DEPENDS ${qlk_resources}/debian/changelog VERBATIM)
install(FILES ${qlk_compressed} DESTINATION ${qlk_docdir})

find_program(QLK_SCDOC scdoc)
set(qlk_manpages)
if(QLK_SCDOC)
  foreach(program quelmark qlkpo qlkmsg)
    set(source ${PROJECT_SOURCE_DIR}/docs/${program}.1.scd)
    set(page ${qlk_docs_out}/${program}.1.gz)
    add_custom_command(OUTPUT ${page}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${qlk_docs_out}
      COMMAND sh -c "\"$1\" < \"$2\" > \"$3\"" sh ${QLK_SCDOC} ${source} ${qlk_docs_out}/${program}.1
      COMMAND gzip -9nf ${qlk_docs_out}/${program}.1
      DEPENDS ${source} VERBATIM)
    list(APPEND qlk_manpages ${page})
  endforeach()
  install(FILES ${qlk_manpages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
else()
  message(WARNING "scdoc is missing (scripts/setup.sh installs it): no manual pages")
endif()
add_custom_target(qlk_docs ALL DEPENDS ${qlk_compressed} ${qlk_manpages})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quelmark)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Quelmark maintainers <maintainers@quelmark.invalid>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION mail)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# The shared libraries the programs link give the dependencies; the window
# needs Qt's platform plugins besides, which Qt only recommends.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "ca-certificates, media-types")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "dovecot-imapd, network-manager | ppp")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "mail gateway between an office's post office and Internet mail")
set(CPACK_PACKAGE_DESCRIPTION "On a schedule, or at the press of Transfer Now, Quelmark fetches each
user's POP3 mailbox into the office's local post office, a folder of
Maildirs, and sends the post office's outgoing mail over SMTP, with TLS,
SMTP log-in and dial-up. A message is deleted on the POP3 server only once
the post office holds it on disk.
.
The package holds the desktop program with its colour status log and user
table, which also runs once from cron or as a systemd user service without a
window; qlkpo, which looks after the post office and lets Dovecot serve it
over IMAP; and qlkmsg, which shows how a stored message is read.")
include(CPack)
