// Tovrin5 for applications: the connection, the query with its in-memory dataset and output
// parameters, and the framework they are built on (fields, parameters, data sources, streams,
// exceptions, dates and text helpers). Include this one header; the package is in namespace
// tovrin, the framework in tovrin::host.
#pragma once

#include <tovrin5/host/Classes.h>
#include <tovrin5/host/DataSet.h>
#include <tovrin5/host/DataSource.h>
#include <tovrin5/host/DateTime.h>
#include <tovrin5/host/DbEnums.h>
#include <tovrin5/host/Exceptions.h>
#include <tovrin5/host/Fields.h>
#include <tovrin5/host/FieldsBcd.h>
#include <tovrin5/host/FieldsTyped.h>
#include <tovrin5/host/Params.h>
#include <tovrin5/host/Streams.h>
#include <tovrin5/host/Strings.h>
#include <tovrin5/host/SysUtils.h>
#include <tovrin5/host/Variant.h>
#include <tovrin5/dataset/SybDataSet.h>
#include <tovrin5/query/SybClientField.h>
#include <tovrin5/query/SybConnect.h>
#include <tovrin5/query/SybQuery.h>
