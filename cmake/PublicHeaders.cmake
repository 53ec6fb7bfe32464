# The package's headers as an application includes them: "tovrin5/<subsystem>/<Header>.h",
# or the umbrella <tovrin5/tovrin5.h>. The sources use the same form, so the build tree maps
# the tovrin5/ prefix onto the subsystem folders (symbolic links under the build folder) and
# the installed tree holds the same paths under include/.
set(TOVRIN_BUILD_INCLUDEDIR ${PROJECT_BINARY_DIR}/include)
file(MAKE_DIRECTORY ${TOVRIN_BUILD_INCLUDEDIR}/tovrin5)
foreach(subsystem IN ITEMS host client dataset query design qt)
  file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${subsystem} ${TOVRIN_BUILD_INCLUDEDIR}/tovrin5/${subsystem} SYMBOLIC)
endforeach()
file(CREATE_LINK ${PROJECT_SOURCE_DIR}/include/tovrin5/tovrin5.h ${TOVRIN_BUILD_INCLUDEDIR}/tovrin5/tovrin5.h SYMBOLIC)

# What is installed: the umbrella and the headers it reaches, no more. Internal headers
# (the library loader, the login watchdog, the dialogs plug-in, ...) stay in the source tree.
# The installation test builds an application against exactly this set.
set(TOVRIN_PUBLIC_HEADERS
  host/Classes.h host/Collation.h host/Collection.h host/Component.h host/DataSet.h
  host/DataSource.h host/DateTime.h host/DbEnums.h host/Events.h host/Exceptions.h host/FieldDefs.h
  host/Fields.h host/FieldsBcd.h host/FieldsTyped.h host/Filer.h host/FilterExpression.h
  host/FormatArg.h host/Lists.h host/Params.h host/Persistent.h host/PropInfo.h host/Sets.h
  host/Streams.h host/Strings.h host/SysUtils.h host/Variant.h
  client/Csconfig.h client/Cspublic.h client/Cstypes.h client/Ctpublic.h
  dataset/SybDataSet.h
  query/SybClientField.h query/SybCommandClient.h query/SybConnect.h query/SybConnection.h
  query/SybMessages.h query/SybQuery.h query/SybRegistry.h
  design/DesignRegistry.h)
