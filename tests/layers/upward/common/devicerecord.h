// stands for a shared value type
