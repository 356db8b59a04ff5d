#include "Report.h"

#include <iostream>

#include "VivodStubCollectReader.h"

int Failed(const char* operation, const VivodStubCollectReader& reader) {
  Complain(std::string(operation) + " failed: " + reader.m_lastError);
  return kExitLibraryFailure;
}

void Complain(const std::string& problem) {
  std::cerr << kProgram << ": " << problem << '\n';
}
