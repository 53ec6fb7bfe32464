// Umbrella header: the framework's classes in one include.
#pragma once

#include "tovrin5/host/Collection.h"
#include "tovrin5/host/Component.h"
#include "tovrin5/host/Events.h"
#include "tovrin5/host/Exceptions.h"
#include "tovrin5/host/Filer.h"
#include "tovrin5/host/Lists.h"
#include "tovrin5/host/Persistent.h"
#include "tovrin5/host/Sets.h"
#include "tovrin5/host/Streams.h"
#include "tovrin5/host/Strings.h"
