// The C# assembly beside .NET's own SHA1 and MD5, in one process: the
// exports' one-shots (Exports.StandardSha, Exports.Md5, a new string each
// call), the hashers' ComputeHash, and System.Security.Cryptography's
// ComputeHash, at 3 B (ns a call) and 1 MiB (MB/s). Each round times every
// contender once, in turn; the best of the rounds is printed.
//
//   bindings/dotnet/run_tests.sh BUILD_DIR --bench [ROUNDS]
using System;
using System.Diagnostics;
using System.Reflection;
using System.Security.Cryptography;

static class DotnetBench
{
    // The best time of one call, in nanoseconds, over `rounds` rounds of
    // `calls` calls each, run interleaved with the other contenders.
    static double[] Best(Action[] contenders, int calls, int rounds)
    {
        var best = new double[contenders.Length];
        for (int c = 0; c < best.Length; c++) best[c] = double.MaxValue;
        var clock = new Stopwatch();
        for (int r = 0; r < rounds; r++)
        {
            for (int c = 0; c < contenders.Length; c++)
            {
                clock.Restart();
                for (int i = 0; i < calls; i++) contenders[c]();
                clock.Stop();
                double ns = clock.Elapsed.TotalMilliseconds * 1e6 / calls;
                best[c] = Math.Min(best[c], ns);
            }
        }
        return best;
    }

    static int Main(string[] args)
    {
        int rounds = args.Length > 0 ? int.Parse(args[0]) : 15;
        using (SHA1 sha1 = SHA1.Create())
        using (MD5 md5 = MD5.Create())
        using (var ourSha1 = new Quillet.Sha1())
        using (var ourMd5 = new Quillet.Md5())
        {
            string[] names = {
                "Exports.StandardSha", "Quillet.Sha1.ComputeHash", "SHA1.ComputeHash",
                "Exports.Md5 (text)", "Quillet.Md5.ComputeHash", "MD5.ComputeHash",
            };
            Type mono = Type.GetType("Mono.Runtime");
            object runtime = mono == null ? Environment.Version.ToString() :
                mono.GetMethod("GetDisplayName", BindingFlags.NonPublic | BindingFlags.Static)
                    .Invoke(null, null);
            Console.WriteLine("{0}; {1} rounds", runtime, rounds);
            foreach (int size in new[] { 3, 1 << 20 })
            {
                byte[] data = new byte[size];
                for (int i = 0; i < size; i++) data[i] = (byte)(i * 7);
                Action[] contenders = {
                    () => Quillet.Exports.StandardSha(data), () => ourSha1.ComputeHash(data),
                    () => sha1.ComputeHash(data),
                    () => Quillet.Exports.Md5(data), () => ourMd5.ComputeHash(data),
                    () => md5.ComputeHash(data),
                };
                // A warm-up round, so that every contender is compiled.
                Best(contenders, 2, 1);
                double[] best = Best(contenders, size < 4096 ? 20000 : 8, rounds);
                for (int c = 0; c < names.Length; c++)
                    Console.WriteLine(size < 4096 ? "{0,-26} {1,8} B  {2,8:F0} ns"
                                                  : "{0,-26} {1,8} B  {3,8:F0} MB/s",
                                      names[c], size, best[c], size * 1e3 / best[c]);
            }
        }
        return 0;
    }
}
