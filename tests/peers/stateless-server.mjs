// A stateless streamable-HTTP MCP server on 127.0.0.1 and the port given as the only argument:
// it issues no session identifier, and every POST is served by a fresh server instance. Its tool
// "echo" sends a log notification on the request's event stream before the result, so a client
// sees a reply with more than one event.
import http from "node:http";
import { Server } from "@modelcontextprotocol/sdk/server/index.js";
import { StreamableHTTPServerTransport } from "@modelcontextprotocol/sdk/server/streamableHttp.js";
import { CallToolRequestSchema, ListToolsRequestSchema } from "@modelcontextprotocol/sdk/types.js";

const port = Number(process.argv[2]);
if (!Number.isInteger(port) || port <= 0) {
  console.error("usage: node stateless-server.mjs PORT");
  process.exit(2);
}

function createServer() {
  const server = new Server(
    { name: "stateless-peer", version: "1.0.0" },
    { capabilities: { tools: {}, logging: {} } },
  );
  server.setRequestHandler(ListToolsRequestSchema, async () => ({
    tools: [
      {
        name: "echo",
        description: "Echoes the message back after announcing it in a log notification",
        inputSchema: {
          type: "object",
          properties: { message: { type: "string" } },
          required: ["message"],
        },
      },
    ],
  }));
  server.setRequestHandler(CallToolRequestSchema, async (request, extra) => {
    if (request.params.name !== "echo") {
      return { content: [{ type: "text", text: `Unknown tool: ${request.params.name}` }], isError: true };
    }
    const message = String(request.params.arguments?.message ?? "");
    await extra.sendNotification({
      method: "notifications/message",
      params: { level: "info", logger: "stateless-peer", data: `echoing ${message.length} characters` },
    });
    return { content: [{ type: "text", text: `Echo: ${message}` }] };
  });
  return server;
}

http
  .createServer(async (req, res) => {
    if (req.method !== "POST") {
      res.writeHead(405, { Allow: "POST" }).end();
      return;
    }
    const server = createServer();
    const transport = new StreamableHTTPServerTransport({ sessionIdGenerator: undefined });
    res.on("close", () => {
      transport.close();
      server.close();
    });
    try {
      await server.connect(transport);
      await transport.handleRequest(req, res);
    } catch (error) {
      console.error("request failed:", error);
      if (!res.headersSent) res.writeHead(500).end();
    }
  })
  .listen(port, "127.0.0.1");
