CREATE TABLE `mb4table` (
  `id` bigint(20) unsigned NOT NULL,
  `note` varchar(100) NOT NULL,
  `body` mediumtext DEFAULT NULL,
  PRIMARY KEY (`id`),
  KEY `note` (`note`)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_general_ci
