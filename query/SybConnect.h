// The connection unit: the connection component, its messages and exceptions, and the
// named-connection registry.
#pragma once

#include "query/SybConnection.h"
#include "query/SybMessages.h"
#include "query/SybRegistry.h"
