// Umbrella header: the framework's classes in one include.
#pragma once

#include "host/Collection.h"
#include "host/Component.h"
#include "host/Events.h"
#include "host/Exceptions.h"
#include "host/Filer.h"
#include "host/Lists.h"
#include "host/Persistent.h"
#include "host/Sets.h"
#include "host/Streams.h"
#include "host/Strings.h"
