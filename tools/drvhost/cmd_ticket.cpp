// drvhost ticket: the printer's PrintTicket side, played as the driver's configuration module
// plays it around the plug-in's PrintTicket provider (driver_ticket.h): the capabilities the
// plug-in completes, the ticket for the current devmode, and tickets turned into devmodes.
#include <cstdio>
#include <cwchar>

#include "config/driver_options.h"
#include "driver_ticket.h"
#include "host.h"
#include "oem_plugin.h"
#include "platform/unique_handle.h"
#include "rules/pin_digest.h"

namespace drvhost {
namespace {

constexpr wchar_t kDefaultPrinter[] = L"PinPrint Demo";

// The secure job a program asks for through the keywords the capabilities offer: JobPasscode
// On, the passcode and the plug-in's two names, put into the ticket for the current devmode in
// place of its JobPasscode. Programs write tickets as text, with prefixes of their own.
bool AskForSecureJob(IXMLDOMDocument2* ticket, const std::wstring& pluginNamespace,
                     const std::wstring& pin, const std::wstring& userName,
                     const std::wstring& jobName) {
    BSTR source = nullptr;
    ticket->get_xml(&source);
    std::wstring xml(source != nullptr ? source : L"");
    SysFreeString(source);
    const auto parameter = [](const std::wstring& name, const std::wstring& text) {
        std::wstring escaped;
        for (wchar_t c : text) {
            escaped += c == L'&' ? L"&amp;" : c == L'<' ? L"&lt;" : std::wstring(1, c);
        }
        return L"<psf:ParameterInit name=\"" + name + L"\"><psf:Value xsi:type=\"xsd:string\">" +
               escaped + L"</psf:Value></psf:ParameterInit>";
    };
    std::wstring added =
        L"<psf:Feature name=\"appv11:JobPasscode\"><psf:Option name=\"psk:On\"/></psf:Feature>";
    if (!pin.empty()) {
        added += parameter(L"appv11:JobPasscodeString", pin);
    }
    if (!userName.empty()) {
        added += parameter(L"app:UserName", userName);
    }
    if (!jobName.empty()) {
        added += parameter(L"app:JobName", jobName);
    }
    const size_t feature = xml.find(L"JobPasscode\"");
    const size_t open =
        feature != std::wstring::npos ? xml.rfind(L"<psf:Feature", feature) : feature;
    const size_t close =
        feature != std::wstring::npos ? xml.find(L"</psf:Feature>", feature) : feature;
    if (open != std::wstring::npos && close != std::wstring::npos) {
        xml.erase(open, close + wcslen(L"</psf:Feature>") - open);
    }
    const size_t end = xml.rfind(L"</psf:PrintTicket>");
    const size_t rootEnd = xml.find(L'>', xml.find(L"<psf:PrintTicket"));
    if (end == std::wstring::npos || rootEnd == std::wstring::npos) {
        return false;
    }
    xml.insert(end, added);
    xml.insert(rootEnd,
               L" xmlns:appv11=\"http://schemas.microsoft.com/windows/2013/05/printing/"
               L"printschemakeywordsv11\" xmlns:app=\"" +
                   pluginNamespace + L"\"");
    std::wstring reason;
    return LoadXml(ticket, xml, reason);
}

}  // namespace

int CommandTicket(const Args& args) {
    const std::wstring printerName = OptionValue(args, L"--printer", kDefaultPrinter);
    const std::wstring input = OptionValue(args, L"--in", L"");
    const std::wstring pin = OptionValue(args, L"--pin", L"");
    const std::wstring userName = OptionValue(args, L"--user-name", L"");
    const std::wstring jobName = OptionValue(args, L"--job-name", L"");
    const bool convert = !pin.empty() || !userName.empty() || !jobName.empty();

    pinprint::UniquePrinter printer;
    if (!OpenPrinterW(const_cast<LPWSTR>(printerName.c_str()), printer.put(), nullptr)) {
        fwprintf(stderr, L"drvhost: printer \"%ls\" cannot be opened (error %lu)\n",
                 printerName.c_str(), GetLastError());
        return 1;
    }
    std::wstring dllPath = OptionValue(args, L"--dll", L"");
    if (dllPath.empty()) {
        dllPath = OemPluginPath(printer.get());
    }
    ComSession com;
    TicketDriver driver;
    std::wstring reason;
    if (!driver.Open(dllPath.empty() ? ExeDirectory() + L"pinprintui.dll" : dllPath, printer.get(),
                     reason)) {
        fwprintf(stderr, L"drvhost: %ls\n", reason.c_str());
        return 1;
    }
    std::vector<BYTE> devmode;
    Document capabilities;
    Document ticket;
    if (capabilities.d == nullptr || ticket.d == nullptr ||
        !driver.DefaultPrivateDevmode(devmode)) {
        fwprintf(stderr, L"drvhost: MSXML 6 or the plug-in's default devmode cannot be had\n");
        return 1;
    }
    const pinprint::DriverOptions options = pinprint::ReadDriverOptions(printer.get());
    wprintf(
        L"Printer \"%ls\", options word 0x%lX (secure-print page %ls); BindPrinter %ls, "
        L"%ls, namespace %ls\n",
        printerName.c_str(), options,
        (options & pinprint::DRVOPT_SECURE_PAGE) ? L"offered" : L"not offered",
        ResultName(driver.bindResult()).c_str(),
        driver.options() == OEMPT_DEFAULT ? L"OEMPT_DEFAULT" : L"OEMPT_NOSNAPSHOT",
        driver.namespaces().empty() ? L"(none)" : driver.namespaces()[0].c_str());

    if (!input.empty()) {
        if (!LoadXmlFile(ticket.d, input, reason)) {
            fwprintf(stderr, L"drvhost: %ls: %ls\n", input.c_str(), reason.c_str());
            return 1;
        }
        if (HasFlag(args, L"--validate")) {
            const HRESULT validated = driver.Validate(ticket.d);
            wprintf(L"ValidatePrintTicket: %ls\n%ls", ResultName(validated).c_str(),
                    DocumentText(ticket.d).c_str());
        }
    } else {
        HRESULT hr = S_OK;
        if (!convert) {
            hr = driver.Capabilities(capabilities.d);
            wprintf(L"\nCompletePrintCapabilities: %ls\n%ls", ResultName(hr).c_str(),
                    DocumentText(capabilities.d).c_str());
        }
        hr = driver.DevmodeToTicket(devmode, ticket.d);
        wprintf(L"\nConvertDevModeToPrintTicket (the default devmode): %ls\n%ls",
                ResultName(hr).c_str(), convert ? L"" : DocumentText(ticket.d).c_str());
        if (!convert) {
            return FAILED(hr) ? 1 : 0;
        }
        if (!AskForSecureJob(ticket.d, driver.namespaces().empty() ? L"" : driver.namespaces()[0],
                             pin, userName, jobName)) {
            fwprintf(stderr, L"drvhost: the ticket cannot be edited\n");
            return 1;
        }
        wprintf(L"A program asks for the secure job: JobPasscode On%ls%ls%ls\n",
                pin.empty() ? L"" : L", JobPasscodeString ****",
                userName.empty() ? L"" : L", UserName", jobName.empty() ? L"" : L", JobName");
    }
    const HRESULT hr = driver.TicketToDevmode(ticket.d, devmode);
    if (hr == E_PRINTTICKET_FORMAT) {
        // The provider's one refusal, named for what was asked: never a job printed in the open.
        const wchar_t* why =
            !input.empty() ? L"no PrintTicket, an item of the wrong shape, a PIN that is not four "
                             L"ASCII digits, JobPasscode On with no PIN given or stored, or "
                             L"JobPasscode On at a printer without secure printing"
            : (options & pinprint::DRVOPT_SECURE_PAGE) == 0
                ? L"the printer offers no secure printing, so it could not hold the job"
            : !pin.empty() && !pinprint::IsFourDigits(pin.c_str())
                ? L"the PIN given is not four ASCII digits"
                : L"JobPasscode On with no PIN given, and none stored in the devmode";
        fwprintf(stderr,
                 L"drvhost: ConvertPrintTicketToDevMode refused %ls (%ls): %ls; the "
                 L"devmode is unchanged\n",
                 input.empty() ? L"the secure job" : input.c_str(), ResultName(hr).c_str(), why);
        return 1;
    }
    if (FAILED(hr)) {
        fwprintf(stderr, L"drvhost: %ls: ConvertPrintTicketToDevMode failed, %ls\n",
                 input.empty() ? L"the ticket" : input.c_str(), ResultName(hr).c_str());
        return 1;
    }
    wprintf(L"ConvertPrintTicketToDevMode: %ls\n", ResultName(hr).c_str());
    PrintPrivateDevmode(devmode.data(), static_cast<DWORD>(devmode.size()), false);
    return 0;
}

}  // namespace drvhost
