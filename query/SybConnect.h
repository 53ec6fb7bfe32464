// The connection unit: the connection component, its messages and exceptions, and the
// named-connection registry.
#pragma once

#include "tovrin5/query/SybConnection.h"
#include "tovrin5/query/SybMessages.h"
#include "tovrin5/query/SybRegistry.h"
