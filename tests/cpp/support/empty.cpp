// Keeps the support library non-empty before any utility exists.
