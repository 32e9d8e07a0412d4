module quillet.example/quillet

go 1.19
