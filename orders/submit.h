// Order submission: the chosen orders of one power's Units, as one
// MSG_ORDERS record handed to the client library.
#pragma once

#include "brox.h"
#include "orders/orders_message.h"
