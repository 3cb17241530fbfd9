// orvane-cli image: makes firmware image files (.trs) from a payload and explains existing ones.
// Images are built and checked with the same functions the firmware engine loads them with.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "framework/CString.h"
#include "framework/ConsoleText.h"
#include "framework/TextCodec.h"
#include "protocol/Protocol.h"
#include "tools/cli/Commands.h"
#include "tools/cli/ImageFiles.h"
#include "tools/i18n/Messages.h"
#include "update/FirmwareFile.h"

namespace {

// Marked here, translated where it is printed.
constexpr const char* kUsage = TrNoop(
    "usage: orvane-cli image pack PAYLOAD --model TEXT -o OUT.trs\n"
    "       orvane-cli image info FILE.trs\n"
    "\n"
    "pack   writes a firmware image: the payload behind a 274-byte header carrying the chip model\n"
    "       (GBK, at most 255 bytes; \"\" makes an image any device accepts) and the check value.\n"
    "       The payload may hold 1 to 2776750 bytes (55535 blocks of 50).\n"
    "info   prints the header of an image and says whether it is valid.\n"
    "\n"
    "exit status: 0 done / image valid, 1 refused / image invalid, 2 usage or file error\n");

int Usage(const std::string& problem) {
    ConsolePrintf(ConsoleStream::Error, Tr("orvane-cli image: %s (see 'orvane-cli image --help')\n"),
                  problem.c_str());
    return kExitUsage;
}

bool IsHelp(const std::string& arg) {
    return arg == "--help" || arg == "-h";
}

std::string Hex32(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof(text), "0x%08X", value);
    return text;
}

int RunPack(const CommandArgs& args) {
    std::string payloadPath, outPath, model;
    bool haveModel = false, haveOut = false;
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (IsHelp(arg)) {
            WriteConsoleText(ConsoleStream::Output, Tr(kUsage));
            return kExitOk;
        }
        auto takeValue = [&](const char* name, std::string& value, bool& seen) -> int {
            if (seen)
                return Usage(FormatText(Tr("%s given twice"), name));
            if (i + 1 >= args.size())
                return Usage(FormatText(Tr("%s needs a value"), name));
            value = args[++i];
            seen = true;
            return kExitOk;
        };
        int rc = kExitOk;
        if (arg == "--model") {
            rc = takeValue("--model", model, haveModel);
        } else if (arg.rfind("--model=", 0) == 0) {
            if (haveModel)
                return Usage(FormatText(Tr("%s given twice"), "--model"));
            model = arg.substr(8);
            haveModel = true;
        } else if (arg == "-o" || arg == "--output") {
            rc = takeValue("-o", outPath, haveOut);
        } else if (arg.size() > 1 && arg[0] == '-') {
            return Usage(FormatText(Tr("unknown option '%s'"), arg.c_str()));
        } else if (payloadPath.empty()) {
            payloadPath = arg;
        } else {
            return Usage(FormatText(Tr("unexpected argument '%s'"), arg.c_str()));
        }
        if (rc != kExitOk)
            return rc;
    }
    if (payloadPath.empty())
        return Usage(Tr("pack needs a PAYLOAD file"));
    if (!haveModel)
        return Usage(Tr("pack needs --model TEXT (use --model \"\" for an image any device accepts)"));
    if (!haveOut || outPath.empty())
        return Usage(Tr("pack needs -o OUT.trs"));

    const CString wideModel = CString::FromUtf8(model);
    const std::string ansiModel = WideToAnsi(wideModel);
    if (AnsiToWide(ansiModel) != wideModel) {
        ConsolePrintf(ConsoleStream::Error,
                      Tr("orvane-cli image pack: refused: the chip model has characters GBK cannot hold\n"));
        return kExitFailed;
    }
    if (ansiModel.size() > FIRMWARE_MAX_CHIP_MODEL) {
        ConsolePrintf(
            ConsoleStream::Error,
            Tr("orvane-cli image pack: refused: the chip model is %zu bytes in GBK, at most %u fit\n"),
            ansiModel.size(), FIRMWARE_MAX_CHIP_MODEL);
        return kExitFailed;
    }

    InputFile input;
    if (!input.Open(payloadPath)) {
        ConsolePrintf(ConsoleStream::Error, "orvane-cli image pack: %s\n", input.Error().c_str());
        return kExitUsage;
    }
    // Writing the image would replace the payload before it is read whole, and leave neither.
    if (input.IsSameFile(outPath))
        return Usage(FormatText(Tr("-o %s is the payload file itself; write the image to another file"),
                                outPath.c_str()));
    if (input.Size() == 0) {
        ConsolePrintf(ConsoleStream::Error, "%s",
                      Tr("orvane-cli image pack: refused: the payload is empty\n"));
        return kExitFailed;
    }
    if (input.Size() > FIRMWARE_MAX_PAYLOAD) {
        ConsolePrintf(
            ConsoleStream::Error,
            Tr("orvane-cli image pack: refused: the payload is %llu bytes; block numbers are 16 bits, so at "
               "most %u bytes (%u blocks) can be sent\n"),
            static_cast<unsigned long long>(input.Size()), FIRMWARE_MAX_PAYLOAD, FIRMWARE_MAX_BLOCKS);
        return kExitFailed;
    }
    const auto size = static_cast<uint32_t>(input.Size());
    std::vector<uint8_t> payload(size);
    if (!input.Read(payload.data(), size)) {
        ConsolePrintf(ConsoleStream::Error, "orvane-cli image pack: %s\n", input.Error().c_str());
        return kExitUsage;
    }

    std::vector<uint8_t> image;
    if (!BuildFirmwareImage(payload.data(), size, ansiModel, image)) {
        ConsolePrintf(ConsoleStream::Error, "%s",
                      Tr("orvane-cli image pack: refused: the image cannot be built\n"));
        return kExitFailed;
    }
    std::string error;
    if (!WriteWholeFile(outPath, image, error)) {
        ConsolePrintf(ConsoleStream::Error, "orvane-cli image pack: %s\n", error.c_str());
        return kExitUsage;
    }
    ConsolePrintf(ConsoleStream::Output,
                  Tr("wrote %s: payload %u bytes, %u blocks, chip model \"%s\", check value %s\n"),
                  outPath.c_str(), size, BlockCount(size), model.c_str(),
                  Hex32(KeyedCrc32(payload.data(), size)).c_str());
    return kExitOk;
}

int Invalid(const std::string& reason) {
    ConsolePrintf(ConsoleStream::Output, Tr("invalid image: %s\n"), reason.c_str());
    return kExitFailed;
}

int RunInfo(const CommandArgs& args) {
    std::string path;
    for (size_t i = 1; i < args.size(); ++i) {
        if (IsHelp(args[i])) {
            WriteConsoleText(ConsoleStream::Output, Tr(kUsage));
            return kExitOk;
        }
        if (args[i].size() > 1 && args[i][0] == '-')
            return Usage(FormatText(Tr("unknown option '%s'"), args[i].c_str()));
        if (!path.empty())
            return Usage(FormatText(Tr("unexpected argument '%s'"), args[i].c_str()));
        path = args[i];
    }
    if (path.empty())
        return Usage(Tr("info needs a FILE"));

    InputFile input;
    if (!input.Open(path)) {
        ConsolePrintf(ConsoleStream::Error, "orvane-cli image info: %s\n", input.Error().c_str());
        return kExitUsage;
    }
    const uint64_t fileSize = input.Size();
    ConsolePrintf(ConsoleStream::Output, Tr("file:            %s (%llu bytes)\n"), path.c_str(),
                  static_cast<unsigned long long>(fileSize));
    if (fileSize < FIRMWARE_HEADER_SIZE) {
        return Invalid(FormatText(Tr("the file is %llu bytes, too short for the %u-byte header"),
                                  static_cast<unsigned long long>(fileSize), FIRMWARE_HEADER_SIZE));
    }
    if (fileSize > 0xFFFFFFFEull)
        return Invalid(Tr("the file is too large to be an image (4 GiB or more)"));

    FirmwareHeader header;
    if (!input.Read(reinterpret_cast<uint8_t*>(&header), sizeof(header))) {
        ConsolePrintf(ConsoleStream::Error, "orvane-cli image info: %s\n", input.Error().c_str());
        return kExitUsage;
    }
    const auto size32 = static_cast<uint32_t>(fileSize);
    const FIRMWARE_HEADER_CHECK check =
        CheckFirmwareHeader(reinterpret_cast<const uint8_t*>(&header), size32);
    // Without the magic the rest of the header is whatever the file holds: its fields would only
    // mislead.
    if (check == FIRMWARE_HEADER_BAD_MAGIC)
        return Invalid(
            Tr("this is no firmware image: it does not start with \"tamro\" and a 0x00 byte (bad magic)"));
    const uint32_t payloadLength = FirmwarePayloadLength(header);
    const CString chipModel = AnsiToWide(header.chipModel, sizeof(header.chipModel));
    ConsolePrintf(ConsoleStream::Output, Tr("magic:           %s\n"),
                  FormatHexBytes(header.magic, sizeof(header.magic)).ToUtf8().c_str());
    ConsolePrintf(ConsoleStream::Output, Tr("header length:   %u\n"), FirmwareHeaderLength(header));
    ConsolePrintf(ConsoleStream::Output, Tr("payload length:  %u bytes\n"), payloadLength);
    ConsolePrintf(ConsoleStream::Output, Tr("check value:     %s\n"),
                  Hex32(FirmwareCheckValue(header)).c_str());
    ConsolePrintf(ConsoleStream::Output, Tr("chip model:      \"%s\"%s\n"), chipModel.ToUtf8().c_str(),
                  chipModel.IsEmpty() ? Tr(" (empty: any device model is accepted)") : "");

    switch (check) {
        case FIRMWARE_HEADER_OK:
        case FIRMWARE_HEADER_BAD_MAGIC:  // said above
            break;
        case FIRMWARE_HEADER_TOO_SHORT:
            return Invalid(Tr("the file is too short for the header"));
        case FIRMWARE_HEADER_BAD_LENGTH:
            return Invalid(FormatText(Tr("wrong header length: the header says %u, it must be 274"),
                                      FirmwareHeaderLength(header)));
        case FIRMWARE_HEADER_BAD_PAYLOAD_LENGTH:
            return Invalid(
                FormatText(Tr("payload length %u does not match the file size: %u bytes follow the header"),
                           payloadLength, size32 - FIRMWARE_HEADER_SIZE));
    }
    ConsolePrintf(ConsoleStream::Output, Tr("blocks:          %u\n"), BlockCount(payloadLength));
    if (payloadLength > FIRMWARE_MAX_PAYLOAD) {
        return Invalid(
            FormatText(Tr("the payload is larger than an update can send (at most %u bytes, %u blocks)"),
                       FIRMWARE_MAX_PAYLOAD, FIRMWARE_MAX_BLOCKS));
    }
    std::vector<uint8_t> payload(payloadLength);
    if (!input.Read(payload.data(), payload.size())) {
        ConsolePrintf(ConsoleStream::Error, "orvane-cli image info: %s\n", input.Error().c_str());
        return kExitUsage;
    }
    const uint32_t computed = KeyedCrc32(payload.data(), payloadLength);
    if (computed != FirmwareCheckValue(header)) {
        WriteConsoleText(ConsoleStream::Output, Tr("check:           does not verify\n"));
        return Invalid(FormatText(Tr("check value mismatch: the header says %s, the payload gives %s"),
                                  Hex32(FirmwareCheckValue(header)).c_str(), Hex32(computed).c_str()));
    }
    WriteConsoleText(ConsoleStream::Output, Tr("check:           verifies\n"));
    if (payloadLength == 0)
        return Invalid(Tr("the payload is empty, there is nothing to send"));
    WriteConsoleText(ConsoleStream::Output, Tr("image is valid\n"));
    return kExitOk;
}

}  // namespace

int RunImage(const CommandArgs& args) {
    if (args.empty())
        return Usage(Tr("missing 'pack' or 'info'"));
    if (IsHelp(args[0])) {
        WriteConsoleText(ConsoleStream::Output, Tr(kUsage));
        return kExitOk;
    }
    if (args[0] == "pack")
        return RunPack(args);
    if (args[0] == "info")
        return RunInfo(args);
    return Usage(FormatText(Tr("unknown image command '%s'"), args[0].c_str()));
}
