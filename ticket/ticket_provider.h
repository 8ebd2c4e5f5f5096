// The PrintTicket provider's work, behind the plug-in object's IPrintOemPrintTicketProvider.
// Each operation takes the printer handle kept from BindPrinter and reads the options word
// afresh, as the pages do: without DRVOPT_SECURE_PAGE the printer offers no secure printing,
// and the provider leaves capabilities, tickets and devmodes as they came.
//
// The operations keep no state between calls and share none, so they may run on several
// threads at once for different documents and devmodes.
#pragma once

#include <windows.h>

#include "platform/print_ticket_provider.h"

namespace pinprint::ticket {

inline constexpr INT kSchemaVersion = 1;

// Version 1, in one CoTaskMemAlloc'ed element.
HRESULT GetSupportedVersions(INT** versions, INT* count);

// Version 1 only (E_VERSION_NOT_SUPPORTED otherwise): OEMPT_DEFAULT and the plug-in's
// namespace. On failure the outputs hold nothing to free.
HRESULT BindPrinter(INT version, POEMPTOPTS options, INT* count, BSTR** namespaces);

// The secure job's feature and parameters added to the capabilities, display names from the
// resource module. E_PRINTCAPABILITIES_FORMAT for a document that is not PrintCapabilities.
HRESULT CompletePrintCapabilities(HANDLE printer, IXMLDOMDocument2* capabilities);

// The ticket's secure-job choices into the private devmode: a copy of the 652-byte record is
// validated, changed and written back whole, or not at all. E_PRINTTICKET_FORMAT for a document
// that is not a PrintTicket or whose items have the wrong shape, for a JobPasscodeString that is
// not four ASCII digits, and for a job that would be secure without a digest (JobPasscode On, no
// PIN, none stored): a secure job asked for is refused rather than printed in the open.
HRESULT ConvertPrintTicketToDevMode(HANDLE printer, IXMLDOMDocument2* ticket, ULONG privateSize,
                                    void* privateDevmode);

// JobPasscode and the two names from the record into the ticket, in the place of elements of
// the same names; never a PIN or any part of its digest.
HRESULT ConvertDevModeToPrintTicket(HANDLE printer, ULONG privateSize, const void* privateDevmode,
                                    IXMLDOMDocument2* ticket);

// S_NO_CONFLICT, or S_CONFLICT_RESOLVED after removing what the page would refuse in the names
// and duplicates, and cutting the names to what the page would hold. A JobPasscode or
// JobPasscodeString the conversion would refuse gives its E_PRINTTICKET_FORMAT, the ticket left
// as it came: JobPasscode is never dropped or turned Off here.
HRESULT ValidatePrintTicket(HANDLE printer, IXMLDOMDocument2* ticket);

}  // namespace pinprint::ticket
