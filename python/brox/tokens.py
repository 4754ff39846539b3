"""Names for the library's tokens: seasons, order kinds, unit types."""
from brox._lib import lib

SEASONS = {
    lib.SEASON_SPRING: "spring",
    lib.SEASON_SUMMER: "summer",
    lib.SEASON_FALL: "fall",
    lib.SEASON_AUTUMN: "autumn",
    lib.SEASON_WINTER: "winter",
}
SEASON_TOKENS = {name: token for token, name in SEASONS.items()}

# Order kinds by token, in the order a walk of a candidate set yields them.
ORDER_KINDS = {
    lib.ORD_CONVOY_MOVE: "convoy_move",
    lib.ORD_CONVOY: "convoy",
    lib.ORD_HOLD: "hold",
    lib.ORD_MOVE: "move",
    lib.ORD_SUPPORT: "support",
    lib.ORD_DISBAND: "disband",
    lib.ORD_RETREAT: "retreat",
    lib.ORD_BUILD: "build",
    lib.ORD_REMOVE: "remove",
    lib.ORD_WAIVE: "waive",
}
ORDER_TOKENS = {name: token for token, name in ORDER_KINDS.items()}


def season_name(token):
    return SEASONS.get(token, "unknown")


def order_kind(token):
    return ORDER_KINDS.get(token, "unknown")
