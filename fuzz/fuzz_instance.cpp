// Fuzz target: the running monitor's reading of a client's message.
#include "qvqsingletonapplication.h"
#include "vqfuzzinput.h"

VQ_FUZZ_TARGET(bytes)
{
    // Bytes past the first 100 never count.
    const auto command = QvqSingletonApplication::vqClientCommand(bytes);
    VQ_FUZZ_REQUIRE(command == QvqSingletonApplication::vqClientCommand(bytes.left(100)));
    VQ_FUZZ_REQUIRE(command != QvqSingletonApplication::vqClientExit || bytes.left(100).contains("exit"));
}
