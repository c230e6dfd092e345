// Fails as node does: a promise rejected that no handler takes, once the queue is empty.
Promise.resolve("handled").then((text) => console.log(text));
Promise.reject(new Error("caught later")).catch((error) => console.log(error.message));
Promise.reject(new Error("rejected and never handled"));
