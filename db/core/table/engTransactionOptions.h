#pragma once
// How a transaction runs. One that makes a single change keeps each
// table's write lock from that change to the commit that follows it at
// once: other users wait for both as before, without the two lock calls
// of each file between them.

struct TTransactionOptions {
  bool SingleChange = false;
};
