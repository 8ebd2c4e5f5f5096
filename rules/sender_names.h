// The sender's names that travel with every job beside the secure job's own: the account's
// login name and the computer's name. The page stores them when it is shown, the PrintTicket
// provider when a ticket sets the secure job, so that both leave the same record.
#pragma once

#include "devmode/private_devmode.h"

namespace pinprint {

// GetComputerNameW and GetUserNameW into `computerName` and `loginName`, each cut to its field;
// a name the system cannot give keeps the field as it was.
void StoreSystemNames(PrivateDevmode* devmode);

}  // namespace pinprint
