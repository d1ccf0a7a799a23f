#pragma once

// Puts the scripted platform in use and restores the regional settings and the code-page
// facts when a test ends, so that a test may set them freely.

#include "datetime/RegionalFormats.h"
#include "datetime/SampleFormats.h"
#include "platform/FakePlatform.h"
#include "platform/ProcessFrame.h"

class TRegionalScope {
public:
  TRegionalScope() = default;
  ~TRegionalScope() {
    RegionalFormats = SavedFormats;
    DoubleByteSystem = SavedDbcs;
    LeadByteSet = SavedLeads;
  }
  TRegionalScope(const TRegionalScope&) = delete;
  TRegionalScope& operator=(const TRegionalScope&) = delete;

  TFakePlatform Platform;

private:
  TRegionalFormats SavedFormats = RegionalFormats;
  bool SavedDbcs = DoubleByteSystem;
  TByteSet SavedLeads = LeadByteSet;
};
