# Installation and the Debian package: `cmake --install` puts the programs,
# the menu entry, the manual pages and the configuration file in place, and
# `bash scripts/package.sh` wraps the same rules into build/tabel_<version>_amd64.deb.
#
# Our libraries are static (src/CMakeLists.txt), so only the two programs
# are installed: nothing of ours lands in the system's library path.

include(GNUInstallDirs)

set(TABEL_PACKAGE_MAINTAINER "Tabel developers <tabel@plant.example>"
    CACHE STRING "The package's Maintainer field")

set(pkg_src ${PROJECT_SOURCE_DIR}/packaging)
set(pkg_out ${PROJECT_BINARY_DIR}/packaging)
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

# The package's version comes from the project; its changelog must agree, or
# the package would describe another version than it holds.
file(STRINGS ${pkg_src}/changelog changelog_head LIMIT_COUNT 1)
if(NOT changelog_head MATCHES "^tabel \\(${PROJECT_VERSION}\\) ")
  message(FATAL_ERROR "packaging/changelog starts with \"${changelog_head}\"; "
                      "its first entry must be for version ${PROJECT_VERSION}")
endif()

configure_file(${pkg_src}/tabel.conf.in ${pkg_out}/tabel.conf @ONLY)
configure_file(${pkg_src}/man/tabel.1.in ${pkg_out}/tabel.1 @ONLY)
configure_file(${pkg_src}/man/tabel-batch.1.in ${pkg_out}/tabel-batch.1 @ONLY)
configure_file(${pkg_src}/man/tabel-web.1.in ${pkg_out}/tabel-web.1 @ONLY)
configure_file(${pkg_src}/changelog ${pkg_out}/changelog COPYONLY)

# Manual pages and the changelog go compressed, without the time stamp gzip
# would otherwise write into them.
set(compressed)
foreach(name tabel.1 tabel-batch.1 tabel-web.1 changelog)
  add_custom_command(
    OUTPUT ${pkg_out}/${name}.gz
    COMMAND gzip -9nkf ${pkg_out}/${name}
    DEPENDS ${pkg_out}/${name}
    VERBATIM)
  list(APPEND compressed ${pkg_out}/${name}.gz)
endforeach()
add_custom_target(tabel_docs ALL DEPENDS ${compressed})

install(TARGETS tabel tabel-batch tabel-web RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# A stripped program keeps the compilers' version notes unless told; Debian's
# own packages drop them as well.
install(CODE "
  if(CMAKE_INSTALL_DO_STRIP)
    foreach(program tabel tabel-batch tabel-web)
      execute_process(COMMAND \"${CMAKE_OBJCOPY}\" --remove-section=.comment
        \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/\${program}\"
        COMMAND_ERROR_IS_FATAL ANY)
    endforeach()
  endif()")
install(FILES ${pkg_src}/tabel.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${pkg_src}/tabel.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${pkg_out}/tabel.1.gz ${pkg_out}/tabel-batch.1.gz ${pkg_out}/tabel-web.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${pkg_src}/copyright ${pkg_out}/changelog.gz ${PROJECT_SOURCE_DIR}/docs/user-guide.ru.md
        DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES ${pkg_src}/systemd/tabel-check-timesheets.service
              ${pkg_src}/systemd/tabel-check-timesheets.timer
              ${pkg_src}/systemd/tabel-web.service
        DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples)
# The programs read /etc/tabel/tabel.conf whatever the prefix (db/config.h),
# so the file goes there and nowhere else.
install(FILES ${pkg_out}/tabel.conf DESTINATION /etc/tabel)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tabel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${TABEL_PACKAGE_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "учет сдельной работы цеха («Табель»)
Табель (tabel) — рабочее место мастеров смен, бухгалтерии и склада:
журнал смен, производственные записи, нормы и расценки, месячные табели
и сводные отчеты. Рабочие места работают с общей базой PostgreSQL через ODBC.

tabel-batch выполняет те же работы без экрана: перестроение и сверку
табелей, выгрузки в .xlsx и отчеты в PDF, для заданий администратора.

tabel-web — веб-просмотр только для чтения: журнал смены, месячные
табели, расчетные листки и месяцы в любом браузере, под собственным
пользователем PostgreSQL каждого человека; пример службы systemd.")
# Besides the libraries the programs link, what they load at run time: the
# Qt ODBC plugin and the PostgreSQL ODBC driver for the connection, the fonts
# the reports and the spreadsheet column widths are measured with, and Qt's
# own Russian texts (standard buttons, print dialogs).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "libqt6sql6-odbc, odbc-postgresql, fonts-crosextra-carlito, fonts-dejavu-core, qt6-translations-l10n")
# Opens the exported spreadsheets in the desktop's application.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils")
file(WRITE ${pkg_out}/conffiles "/etc/tabel/tabel.conf\n")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${pkg_out}/conffiles)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
