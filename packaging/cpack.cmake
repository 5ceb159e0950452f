# The Debian packages, one per install component (named in CMakeLists.txt):
#   cpack --config <build>/CPackConfig.cmake
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME inventaire-tirvano)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${TIRVANO_PACKAGE_MAINTAINER})
set(CPACK_PACKAGE_HOMEPAGE_URL ${TIRVANO_WEB_URL})
set(CPACK_COMPONENTS_ALL programme serveur)
set(CPACK_DEB_COMPONENT_INSTALL ON)
# Installed with the prefix /usr, so that the program goes to /opt (install-programme.cmake).
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_INSTALL_PREFIX /usr)
set(CPACK_SET_DESTDIR ON)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)

set(CPACK_COMPONENT_PROGRAMME_DESCRIPTION "report d'un comptage de stock dans la gestion commerciale
Un terminal de saisie à code-barres écrit un fichier de comptage, une ligne par
article compté. Inventaire TIRVANO reporte ce comptage dans l'application de
gestion commerciale : il retrouve chaque article dans la base de gestion
(fichier .mdb) et l'envoie au serveur de gestion par le bus D-Bus de session.
.
Le programme garde ses réglages et son rapport dans son dossier,
/opt/inventaire-tirvano, que les membres du groupe inventaire-tirvano peuvent
écrire.")
# The window's font; the toolkit's French texts for its own dialogs; a session bus to reach
# the management server.
set(CPACK_DEBIAN_PROGRAMME_PACKAGE_DEPENDS "adduser, fonts-dejavu-core")
set(CPACK_DEBIAN_PROGRAMME_PACKAGE_RECOMMENDS "qt6-translations-l10n, default-dbus-session-bus | dbus-session-bus")
set(CPACK_DEBIAN_PROGRAMME_PACKAGE_CONTROL_EXTRA
  ${CMAKE_CURRENT_LIST_DIR}/debian/postinst ${CMAKE_CURRENT_LIST_DIR}/debian/postrm)
set(CPACK_DEBIAN_PROGRAMME_PACKAGE_CONTROL_STRICT_PERMISSION ON)

set(CPACK_COMPONENT_SERVEUR_DESCRIPTION "serveur de gestion de référence pour Inventaire TIRVANO
Un serveur d'automatisation qui tient la place de l'application de gestion
commerciale sur le bus D-Bus de session, sous les noms GestionKelmar.ClsProjet
et GestionDovane.ClsProjet : pour la démonstration, les essais et les tests
d'Inventaire TIRVANO. Un site qui a son vrai serveur de gestion ne l'installe
pas.")
set(CPACK_DEBIAN_SERVEUR_PACKAGE_RECOMMENDS "default-dbus-session-bus | dbus-session-bus")

include(CPack)
