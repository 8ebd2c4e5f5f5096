// The PrintTicket provider's two conversions per call, through the loaded plug-in bound as the
// driver binds it, each against a floor timed in the same run: the same MSXML work on a copy of
// the same document (the same look-ups and element creations, written out by hand for this one
// ticket), plus what any provider must do besides: the options word read and, for a ticket
// with a PIN, its digest. Then hostile tickets at three sizes, against MSXML's own load and walk
// of the same text: the provider's cost must grow with the ticket's size and no faster.
//
// The printer is installed into Wine's spooler for the run by the tests' own installer and
// removed again at the end.
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "bench.h"
#include "config/driver_options.h"
#include "devmode/private_devmode.h"
#include "driver_ticket.h"
#include "rules/pin_digest.h"
#include "support/test_printer.h"
#include "support/test_support.h"
#include "ticket/dom.h"

namespace {

using pinprint::PrivateDevmode;
using pinprint::ticket::Bstr;
using pinprint::ticket::ComRef;

constexpr wchar_t kPsf[] =
    L"http://schemas.microsoft.com/windows/2003/08/printing/printschemaframework";
constexpr wchar_t kXsi[] = L"http://www.w3.org/2001/XMLSchema-instance";

Bstr B(std::wstring_view text) {
    Bstr b;
    b.Assign(text);
    return b;
}

// What getAttribute answers, freed.
void Attribute(IXMLDOMElement* element, const wchar_t* name) {
    VARIANT v;
    v.vt = VT_EMPTY;
    element->getAttribute(B(name).get(), &v);
    VariantClear(&v);
}

// Every attribute's name and value: the root's declarations read once, as a converter written
// for this ticket alone would, or any element's on a walk.
void ReadAttributes(IXMLDOMNode* element) {
    ComRef<IXMLDOMNamedNodeMap> map;
    element->get_attributes(map.put());
    long count = 0;
    map->get_length(&count);
    for (long i = 0; i < count; ++i) {
        ComRef<IXMLDOMNode> attribute;
        Bstr name;
        Bstr text;
        map->get_item(i, attribute.put());
        attribute->get_nodeName(name.put());
        attribute->get_text(text.put());
    }
}

// The walk over the root's children: every child's kind and local name, the namespace and the
// name of each Feature and ParameterInit, and for the three of the secure job the declaration
// their names' prefix could have on them. Returns the secure job's elements by name.
void Walk(IXMLDOMElement* root, ComRef<IXMLDOMElement> (&found)[4]) {
    static const wchar_t* const kNames[] = {L"pskv11:JobPasscode", L"pskv11:JobPasscodeString",
                                            L"ns0001:UserName", L"ns0001:JobName"};
    ComRef<IXMLDOMNode> child;
    root->get_firstChild(child.put());
    while (child) {
        ComRef<IXMLDOMNode> next;
        child->get_nextSibling(next.put());
        DOMNodeType type;
        child->get_nodeType(&type);
        ComRef<IXMLDOMElement> element;
        child->QueryInterface(IID_IXMLDOMElement, reinterpret_cast<void**>(element.put()));
        Bstr local;
        element->get_baseName(local.put());
        if (local.view() == L"Feature" || local.view() == L"ParameterInit") {
            Bstr ns;
            element->get_namespaceURI(ns.put());
            VARIANT name;
            name.vt = VT_EMPTY;
            element->getAttribute(B(L"name").get(), &name);
            for (int i = 0; i < 4; ++i) {
                if (name.vt == VT_BSTR && wcscmp(name.bstrVal, kNames[i]) == 0) {
                    Attribute(element.get(), i < 2 ? L"xmlns:pskv11" : L"xmlns:ns0001");
                    found[i] = element;
                }
            }
            VariantClear(&name);
        }
        child = std::move(next);
    }
}

ComRef<IXMLDOMElement> NewElement(IXMLDOMDocument2* document, const wchar_t* qname,
                                  const wchar_t* name) {
    VARIANT type;
    type.vt = VT_I4;
    type.lVal = NODE_ELEMENT;
    ComRef<IXMLDOMNode> node;
    document->createNode(type, B(qname).get(), B(kPsf).get(), node.put());
    ComRef<IXMLDOMElement> element;
    node->QueryInterface(IID_IXMLDOMElement, reinterpret_cast<void**>(element.put()));
    if (name != nullptr) {
        const Bstr text = B(name);
        VARIANT v;
        v.vt = VT_BSTR;
        v.bstrVal = text.get();
        element->setAttribute(B(L"name").get(), v);
    }
    return element;
}

void Append(IXMLDOMNode* parent, IXMLDOMNode* child) {
    ComRef<IXMLDOMNode> added;
    parent->appendChild(child, added.put());
}

ComRef<IXMLDOMElement> StringParameter(IXMLDOMDocument2* document, const wchar_t* name,
                                       const wchar_t* text) {
    ComRef<IXMLDOMElement> parameter = NewElement(document, L"psf:ParameterInit", name);
    ComRef<IXMLDOMElement> value = NewElement(document, L"psf:Value", nullptr);
    VARIANT kind;
    kind.vt = VT_I4;
    kind.lVal = NODE_ATTRIBUTE;
    ComRef<IXMLDOMNode> node;
    ComRef<IXMLDOMAttribute> attribute;
    ComRef<IXMLDOMAttribute> replaced;
    document->createNode(kind, B(L"xsi:type").get(), B(kXsi).get(), node.put());
    node->QueryInterface(IID_IXMLDOMAttribute, reinterpret_cast<void**>(attribute.put()));
    const Bstr typeName = B(L"xsd:string");
    VARIANT v;
    v.vt = VT_BSTR;
    v.bstrVal = typeName.get();
    attribute->put_value(v);
    value->setAttributeNode(attribute.get(), replaced.put());
    value->put_text(B(text).get());
    Append(parameter.get(), value.get());
    return parameter;
}

// What both floors start with, as the provider does: the root checked, the options read, the
// walk over the root's children and the namespaces declared on it.
void OpenFloor(HANDLE printer, IXMLDOMDocument2* document, ComRef<IXMLDOMElement>& root,
               ComRef<IXMLDOMElement> (&found)[4]) {
    document->get_documentElement(root.put());
    Bstr local;
    Bstr ns;
    root->get_baseName(local.put());
    root->get_namespaceURI(ns.put());
    pinprint::ReadDriverOptions(printer);
    Walk(root.get(), found);
    ReadAttributes(root.get());
}

// The devmode-to-ticket floor: the root checked, the options read, the walk, the elements
// made, and each put in the place of the one of its name.
void DevmodeToTicketFloor(HANDLE printer, IXMLDOMDocument2* document) {
    ComRef<IXMLDOMElement> root;
    ComRef<IXMLDOMElement> found[4];
    OpenFloor(printer, document, root, found);
    ComRef<IXMLDOMElement> feature = NewElement(document, L"psf:Feature", L"pskv11:JobPasscode");
    Append(feature.get(), NewElement(document, L"psf:Option", L"psk:On").get());
    ComRef<IXMLDOMElement> user = StringParameter(document, L"ns0001:UserName", L"Ann Smith");
    ComRef<IXMLDOMElement> job = StringParameter(document, L"ns0001:JobName", L"Q3 report");
    ComRef<IXMLDOMNode> replaced;
    root->replaceChild(feature.get(), found[0].get(), replaced.put());
    root->replaceChild(user.get(), found[2].get(), replaced.put());
    root->replaceChild(job.get(), found[3].get(), replaced.put());
}

// A ParameterInit's value read: the Value child, its attributes, its text.
void ReadValue(IXMLDOMElement* parameter, Bstr& text) {
    ComRef<IXMLDOMNode> value;
    parameter->get_firstChild(value.put());
    DOMNodeType type;
    value->get_nodeType(&type);
    Bstr local;
    Bstr ns;
    value->get_baseName(local.put());
    value->get_namespaceURI(ns.put());
    ComRef<IXMLDOMElement> element;
    value->QueryInterface(IID_IXMLDOMElement, reinterpret_cast<void**>(element.put()));
    ReadAttributes(element.get());
    Attribute(element.get(), L"xmlns:xsd");
    element->get_text(text.put());
}

// The ticket-to-devmode floor: the root checked, the options read, the walk, the option and
// the values read, the PIN's digest where there is a PIN, the record written.
void TicketToDevmodeFloor(HANDLE printer, IXMLDOMDocument2* document, PrivateDevmode& devmode) {
    ComRef<IXMLDOMElement> root;
    ComRef<IXMLDOMElement> found[4];
    OpenFloor(printer, document, root, found);
    ComRef<IXMLDOMNode> option;
    found[0]->get_firstChild(option.put());
    ComRef<IXMLDOMElement> optionElement;
    option->QueryInterface(IID_IXMLDOMElement, reinterpret_cast<void**>(optionElement.put()));
    Attribute(optionElement.get(), L"name");
    Attribute(optionElement.get(), L"xmlns:psk");
    Bstr user;
    Bstr job;
    Bstr pin;
    ReadValue(found[2].get(), user);
    ReadValue(found[3].get(), job);
    PrivateDevmode record = devmode;
    if (found[1]) {
        ReadValue(found[1].get(), pin);
        pinprint::ComputePinDigest(pin.get(), record.pinDigest);
    }
    pinprint::CopyToField(record.userName, pinprint::kNameChars, user.get());
    pinprint::CopyToField(record.jobName, pinprint::kNameChars, job.get());
    memcpy(&devmode, &record, sizeof(record));
}

ComRef<IXMLDOMDocument2> Copy(IXMLDOMDocument2* document) {
    Bstr xml;
    document->get_xml(xml.put());
    ComRef<IXMLDOMDocument2> copy;
    *copy.put() = drvhost::CreateDocument();
    std::wstring reason;
    drvhost::LoadXml(copy.get(), std::wstring(xml.view()), reason);
    return copy;
}

// A hostile ticket of about `bytes` characters: the secure job a program asks for (JobPasscode
// On, the PIN left to the digest the record holds, both names) after a namespace declaration on
// the root for every 800 bytes, three JobPasscode features under those other namespaces for each
// declaration, a user name whose value carries up to a thousand attributes named "type" in
// those namespaces, and foreign features for the rest.
std::wstring HostileTicket(size_t bytes) {
    const size_t declarations = std::max<size_t>(bytes / 800, 4);
    const size_t attributes = std::min<size_t>(1000, bytes / 160);
    std::wstring xml =
        std::wstring(L"<psf:PrintTicket xmlns:psf=\"") + kPsf +
        L"\" "
        L"xmlns:psk=\"http://schemas.microsoft.com/windows/2003/08/printing/printschemakeywords\" "
        L"xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
        L"xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\" xmlns:k=\"http://schemas.microsoft.com/"
        L"windows/2013/05/printing/printschemakeywordsv11\" "
        L"xmlns:p=\"http://schemas.pinprint.example/2024/printing/securejob\"";
    for (size_t i = 0; i < declarations; ++i) {
        xml += L" xmlns:n" + std::to_wstring(i) + L"=\"urn:decoy:" + std::to_wstring(i) + L"\"";
    }
    xml += L" version=\"1\">";
    for (size_t i = 0; i < 3 * declarations; ++i) {
        xml += L"<psf:Feature name=\"n" + std::to_wstring(i % declarations) +
               L":JobPasscode\"><psf:Option name=\"psk:On\"/></psf:Feature>";
    }
    std::wstring items =
        L"<psf:Feature name=\"k:JobPasscode\"><psf:Option name=\"psk:On\"/></psf:Feature>"
        L"<psf:ParameterInit name=\"p:UserName\"><psf:Value xsi:type=\"xsd:string\"";
    for (size_t i = 0; i < attributes; ++i) {
        const std::wstring prefix = L" n" + std::to_wstring(i % declarations);
        items += i < declarations ? prefix + L":type=\"xsd:string\""
                                  : prefix + L":a" + std::to_wstring(i) + L"=\"x\"";
    }
    items +=
        L">Ann Smith</psf:Value></psf:ParameterInit><psf:ParameterInit "
        L"name=\"p:JobName\"><psf:Value xsi:type=\"xsd:string\">Q3 "
        L"report</psf:Value></psf:ParameterInit></psf:PrintTicket>";
    for (size_t i = 0; xml.size() + items.size() < bytes; ++i) {
        xml += L"<psf:Feature name=\"psk:Feature" + std::to_wstring(i) +
               L"\"><psf:Option name=\"psk:Option" + std::to_wstring(i) + L"\"/></psf:Feature>";
    }
    return xml + items;
}

// MSXML's own load and walk of the same text: parsed into a fresh document, then every node
// visited, and every element's name and attributes (names and values) read.
void LoadAndWalk(const std::wstring& xml) {
    ComRef<IXMLDOMDocument2> document;
    *document.put() = drvhost::CreateDocument();
    std::wstring reason;
    drvhost::LoadXml(document.get(), xml, reason);
    ComRef<IXMLDOMElement> root;
    document->get_documentElement(root.put());
    ComRef<IXMLDOMNode> node;
    root->QueryInterface(IID_IXMLDOMNode, reinterpret_cast<void**>(node.put()));
    for (int depth = 0; node;) {
        DOMNodeType type;
        node->get_nodeType(&type);
        if (type == NODE_ELEMENT) {
            Bstr name;
            node->get_nodeName(name.put());
            ReadAttributes(node.get());
        }
        // Depth first: the first child, else the next sibling of the node or of a parent.
        ComRef<IXMLDOMNode> next;
        node->get_firstChild(next.put());
        depth += next ? 1 : 0;
        while (!next && depth > 0) {
            node->get_nextSibling(next.put());
            if (!next) {
                ComRef<IXMLDOMNode> parent;
                node->get_parentNode(parent.put());
                node = std::move(parent);
                --depth;
            }
        }
        node = std::move(next);
    }
}

// The hostile tickets at three sizes, each converted and validated through the provider (the
// record holds the digest, as after the driver restores its snapshot) against MSXML's load and
// walk of the same text, in alternating batches. Targets: within 2x of the floor at every size,
// and the cost per megabyte at 1.6 MB within 1.5x of that at 160 KB.
int HostileTickets(IPrintOemPrintTicketProvider* provider, const PrivateDevmode& record) {
    const struct {
        const char* name;
        size_t bytes;
    } sizes[] = {{"10 KB", 10 * 1000}, {"160 KB", 160 * 1000}, {"1.6 MB", 1600 * 1000}};
    int missed = 0;
    double perMegabyte[3] = {};
    printf(
        "\nHostile tickets: ConvertPrintTicketToDevMode + ValidatePrintTicket against MSXML's "
        "load and walk of the same text (medians of 9 batches, taken in turn)\n");
    printf(
        "| ticket | characters | provider ms/MB | floor: load + walk, ms/MB | ratio | target |\n");
    printf("|---|---:|---:|---:|---:|---:|\n");
    for (int n = 0; n < 3; ++n) {
        const std::wstring xml = HostileTicket(sizes[n].bytes);
        ComRef<IXMLDOMDocument2> ticket;
        *ticket.put() = drvhost::CreateDocument();
        std::wstring reason;
        PrivateDevmode out = record;
        if (!drvhost::LoadXml(ticket.get(), xml, reason) ||
            provider->ConvertPrintTicketToDevMode(ticket.get(), 0, nullptr, sizeof(out), &out) !=
                S_OK ||
            out.secureEnabled != 1 ||
            provider->ValidatePrintTicket(ticket.get()) != S_NO_CONFLICT) {
            fprintf(stderr, "the %s ticket did not convert and validate\n", sizes[n].name);
            return missed + 1;
        }
        const int calls = std::max(1, static_cast<int>(2000000 / xml.size()));
        const auto [measured, floor] = bench::SideBySide(
            [&] {
                provider->ConvertPrintTicketToDevMode(ticket.get(), 0, nullptr, sizeof(out), &out);
                provider->ValidatePrintTicket(ticket.get());
            },
            [&] { LoadAndWalk(xml); }, calls, 9);
        const double megabytes = static_cast<double>(xml.size()) / 1e6;
        perMegabyte[n] = measured / 1e6 / megabytes;
        const double ratio = measured / floor;
        missed += ratio <= 2.0 ? 0 : 1;
        printf("| %s | %zu | %.1f | %.1f | %.2fx | %s 2.0x |\n", sizes[n].name, xml.size(),
               perMegabyte[n], floor / 1e6 / megabytes, ratio, ratio <= 2.0 ? "<=" : "MISSED");
    }
    const double growth = perMegabyte[2] / perMegabyte[1];
    missed += growth <= 1.5 ? 0 : 1;
    printf("| per MB at 1.6 MB against 160 KB | | | | %.2fx | %s 1.5x |\n", growth,
           growth <= 1.5 ? "<=" : "MISSED");
    return missed;
}

}  // namespace

int main() {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    int missed = 0;
    {
        pinprint::test::DriverSetup setup;
        setup.driverName = L"PinPrint Ticket Bench";
        pinprint::test::TestPrinter printer(L"PinPrint Ticket Bench", setup);
        drvhost::TicketDriver driver;
        std::wstring reason;
        std::vector<BYTE> devmode;
        if (!printer.ok() || !printer.SetOptions(pinprint::DRVOPT_SECURE_PAGE) ||
            !driver.Open(pinprint::test::BinPath(L"pinprintui.dll"), printer.handle(), reason) ||
            !driver.DefaultPrivateDevmode(devmode)) {
            fprintf(stderr, "cannot install the bench printer or bind the provider\n");
            return 1;
        }
        auto& record = *reinterpret_cast<PrivateDevmode*>(devmode.data());
        record.secureEnabled = 1;
        pinprint::ComputePinDigest(L"1234", record.pinDigest);
        pinprint::CopyToField(record.userName, pinprint::kNameChars, L"Ann Smith");
        pinprint::CopyToField(record.jobName, pinprint::kNameChars, L"Q3 report");

        // The driver's ticket for the job, with the plug-in's part in it, and a program's PIN.
        ComRef<IXMLDOMDocument2> ticket;
        *ticket.put() = drvhost::CreateDocument();
        if (FAILED(driver.DevmodeToTicket(devmode, ticket.get()))) {
            fprintf(stderr, "the provider did not convert the devmode\n");
            return 1;
        }
        ComRef<IXMLDOMDocument2> withoutPin = Copy(ticket.get());
        ComRef<IXMLDOMDocument2> floorWithoutPin = Copy(ticket.get());
        Bstr xml;
        ticket->get_xml(xml.put());
        std::wstring text(xml.view());
        text.insert(text.rfind(L"</psf:PrintTicket>"),
                    L"<psf:ParameterInit name=\"pskv11:JobPasscodeString\"><psf:Value "
                    L"xsi:type=\"xsd:string\">1234</psf:Value></psf:ParameterInit>");
        drvhost::LoadXml(ticket.get(), text, reason);
        ComRef<IXMLDOMDocument2> floorTicket = Copy(ticket.get());

        IPrintOemPrintTicketProvider* provider = driver.provider();
        const HANDLE handle = printer.handle();
        PrivateDevmode out = record;
        constexpr int kCalls = 100;
        constexpr int kRepetitions = 41;
        const auto toTicket = [&] {
            provider->ConvertDevModeToPrintTicket(0, nullptr, sizeof(record), &record,
                                                  ticket.get());
        };
        const auto toTicketFloor = [&] { DevmodeToTicketFloor(handle, floorTicket.get()); };
        const auto toDevmode = [&] {
            provider->ConvertPrintTicketToDevMode(ticket.get(), 0, nullptr, sizeof(out), &out);
        };
        const auto toDevmodeFloor = [&] { TicketToDevmodeFloor(handle, floorTicket.get(), out); };
        const auto [providerToTicket, floorToTicket] =
            bench::SideBySide(toTicket, toTicketFloor, kCalls, kRepetitions);
        const auto [providerToDevmode, floorToDevmode] =
            bench::SideBySide(toDevmode, toDevmodeFloor, kCalls, kRepetitions);
        const auto [providerNoPin, floorNoPin] = bench::SideBySide(
            [&] {
                provider->ConvertPrintTicketToDevMode(withoutPin.get(), 0, nullptr, sizeof(out),
                                                      &out);
            },
            [&] { TicketToDevmodeFloor(handle, floorWithoutPin.get(), out); }, kCalls,
            kRepetitions);
        missed += bench::Report(
            "PrintTicket conversions per call (medians of 41 batches of 100, taken in turn with "
            "the floor)",
            {{"ConvertDevModeToPrintTicket", providerToTicket, "same MSXML work", floorToTicket,
              1.5},
             {"ConvertPrintTicketToDevMode, PIN 1234 and names", providerToDevmode,
              "same MSXML work + digest", floorToDevmode, 1.5},
             {"ConvertPrintTicketToDevMode, names only", providerNoPin, "same MSXML work",
              floorNoPin, 1.5}});
        missed += HostileTickets(provider, record);
        if (strcmp(out.pinDigest, record.pinDigest) != 0) {
            fprintf(stderr, "the conversions did not give the job back\n");
            missed += 1;
        }
    }
    CoUninitialize();
    return missed == 0 ? 0 : 3;
}
