// A component stream read into registered classes, as a report file's stream is: the
// reader refuses what it cannot have room for and leaves no half-read component behind.
#include <cstdint>
#include <memory>

#include "objects/Exceptions.h"
#include "objects/Filer.h"
#include "tests/objects/TestClasses.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool registered = (rpt::test::RegisterTestClasses(), true);
  (void)registered;
  rpt::TMemoryStream stream;
  stream.Write(data, size);
  stream.SetPosition(0);
  rpt::test::TTestForm form;
  try {
    rpt::LoadComponent(stream, &form);
  } catch (const rpt::Exception&) {
  }
  return 0;
}
