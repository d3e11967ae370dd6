"""Atheris fuzzer of the Python binding: argument conversion and every method of the
module and of Document, called with fuzzed values on fuzzed and on valid documents.

    python atheris_binding.py [libFuzzer flags]

Run it against a sanitizer build of the extension (LD_PRELOAD of the ASan runtime,
ASAN_OPTIONS=detect_leaks=0). Refusals are the documented exceptions; any other
exception, and every sanitizer report, is a crash."""

import inspect
import sys

import atheris

with atheris.instrument_imports():
    import quarvel

# ValueError: library errors; TypeError and OverflowError: argument conversion;
# NotImplementedError: methods whose feature is not built yet.
EXPECTED = (ValueError, TypeError, OverflowError, NotImplementedError)
VALID = [
    quarvel.write_text_pdf(["Hello (world)\nline two", "page two"], title="T", author="A"),
    quarvel.write_text_pdf([]),
]
# open and open_mmap read whatever path they get (/dev/zero never ends): not fuzzed.
METHODS = [name for name, _ in inspect.getmembers(quarvel.Document, callable)
           if not name.startswith("_") and name not in ("open", "open_mmap")]
MODULE_FUNCTIONS = ["write_text_pdf", "set_decoded_size_limit"]


def parameters(function):
    try:
        return [p for p in inspect.signature(function).parameters if p != "self"]
    except (TypeError, ValueError):
        return []


# The extension is not instrumented; coverage of these functions (which kinds of value,
# which exception) is the feedback.
@atheris.instrument_func
def value(fdp: atheris.FuzzedDataProvider, depth: int = 0):
    kind = fdp.ConsumeIntInRange(0, 11 if depth < 3 else 7)
    if kind == 0:
        return None
    if kind == 1:
        return fdp.ConsumeBool()
    if kind == 2:
        return fdp.ConsumeIntInRange(0, 4)
    if kind == 3:
        return fdp.ConsumeInt(fdp.ConsumeIntInRange(1, 12))  # negative and huge too
    if kind == 4:
        return fdp.ConsumeRegularFloat() if fdp.ConsumeBool() else fdp.ConsumeFloat()
    if kind == 5:
        return fdp.ConsumeUnicode(fdp.ConsumeIntInRange(0, 64))  # lone surrogates included
    if kind == 6:
        return fdp.ConsumeBytes(fdp.ConsumeIntInRange(0, 64))
    if kind == 7:
        return bytearray(fdp.ConsumeBytes(8))
    if kind == 8:
        return [value(fdp, depth + 1) for _ in range(fdp.ConsumeIntInRange(0, 5))]
    if kind == 9:
        return tuple(value(fdp, depth + 1) for _ in range(fdp.ConsumeIntInRange(0, 5)))
    if kind == 10:
        return [fdp.ConsumeUnicodeNoSurrogates(16) for _ in range(fdp.ConsumeIntInRange(0, 4))]
    return {fdp.ConsumeUnicodeNoSurrogates(4): value(fdp, depth + 1) for _ in range(fdp.ConsumeIntInRange(0, 3))}


@atheris.instrument_func
def call(function, fdp: atheris.FuzzedDataProvider) -> None:
    names = parameters(function)
    args = [value(fdp) for _ in range(fdp.ConsumeIntInRange(0, len(names) + 1))]
    kwargs = {}
    for name in names[len(args):]:
        if fdp.ConsumeBool():
            kwargs[name] = value(fdp)
    if fdp.ConsumeIntInRange(0, 15) == 0:
        kwargs[fdp.ConsumeUnicodeNoSurrogates(6)] = value(fdp)
    try:
        function(*args, **kwargs)
    except EXPECTED as error:
        return type(error)
    return None


@atheris.instrument_func
def TestOneInput(data: bytes) -> None:
    fdp = atheris.FuzzedDataProvider(data)
    previous = quarvel.set_decoded_size_limit(16 << 20)
    try:
        choice = fdp.ConsumeIntInRange(0, 3)
        if choice == 0:
            call(getattr(quarvel, fdp.PickValueInList(MODULE_FUNCTIONS)), fdp)
            return
        if choice == 1:
            source = fdp.ConsumeBytes(fdp.ConsumeIntInRange(0, 4096))
        else:
            source = fdp.PickValueInList(VALID)
        try:
            document = quarvel.Document.parse(source) if fdp.ConsumeBool() else quarvel.Document(source)
        except ValueError:
            return
        for _ in range(fdp.ConsumeIntInRange(1, 4)):
            call(getattr(document, fdp.PickValueInList(METHODS)), fdp)
    finally:
        quarvel.set_decoded_size_limit(previous)


def main() -> None:
    atheris.Setup(sys.argv, TestOneInput)
    atheris.Fuzz()


if __name__ == "__main__":
    main()
