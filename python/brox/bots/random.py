"""A bot that gives each of its units an order drawn uniformly from its
candidates (builds in distinct provinces).

    python3 -m brox.bots.random [-n host | -i address] [-p port] [--seed N]
"""
import random

from brox.bots import command_line, exit_with, play


def random_bot(rng):
    def bot(position, power):
        position.choose_random(power, rng)
    return bot


def main(argv=None):
    parser = command_line("brox.bots.random", "Plays random orders on a game server.")
    parser.add_argument("--seed", type=int, help="seed of the draws (default: a fresh one)")
    options = parser.parse_args(argv)
    return play("brox.bots.random", random_bot(random.Random(options.seed)), options, "python random")


if __name__ == "__main__":
    exit_with(main())
