CREATE TABLE `odd names` (
  `id` int(11) NOT NULL,
  `we``ird` varchar(10) DEFAULT NULL,
  `select` int(11) DEFAULT NULL,
  `ünï` int(11) DEFAULT NULL,
  PRIMARY KEY (`id`),
  UNIQUE KEY `u``k` (`we``ird`),
  UNIQUE KEY `u2` (`ünï`),
  KEY `select` (`select`)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb3 COLLATE=utf8mb3_general_ci
