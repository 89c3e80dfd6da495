// Moved to common/DomFixture.hpp; kept so that other folders build until they include it from there.
#pragma once
#include "common/DomFixture.hpp"
